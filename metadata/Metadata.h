// The part every tag container shares: the file name and IUnknown.
#pragma once

#include "ComObject.h"
#include "TrelvoxMetadata.h"

#include <string>

// T is the container class. The file is only named here; GetTag and SetTag open it.
template <class T> class CMetadata : public trelvox::ComObject<IMetadata> {
public:
    explicit CMetadata(std::string fileName) : m_fileName(std::move(fileName)) {}

    const std::string& FileName() const { return m_fileName; }

protected:
    void* FindInterface(REFIID riid) override {
        if (IsEqualIID(riid, IID_IMetadata))
            return static_cast<IMetadata*>(this);
        return nullptr;
    }

private:
    std::string m_fileName;
};
