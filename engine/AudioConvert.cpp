// The conversion driver. Not built yet: every call reports that.
#include "Trelvox.h"

HRESULT __cdecl AudioConvert(IConvertSource* source, IConvertDestination* destination,
                             IConvertCallback* callback, const ConvertOptions*, double*, int32_t, int32_t) {
    if (!source || !destination || !callback)
        return E_INVALIDARG;
    return E_NOTIMPL;
}
