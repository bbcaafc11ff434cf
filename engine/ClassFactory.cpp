#include "ClassFactory.h"

#include "AIFFConvDest.h"
#include "AudioCDTrack.h"
#include "DirectShowConvDest.h"
#include "DirectShowConvSource.h"
#include "MIDIConvSource.h"
#include "MP3ConvDest.h"
#include "OggConvDest.h"
#include "QCPConvSource.h"
#include "WavConvDest.h"
#include "WavConvSource.h"
#include "WMAConvDest.h"
#include "WMAConvSource.h"

namespace trelvox {

// clang-format off
const ClassEntry<IConvertSource> kSourceClasses[6] = {
    {&CLSID_WMAConvSource, &Construct<CWMAConvSource, IConvertSource>},
    {&CLSID_AudioCDTrack, &Construct<CAudioCDTrack, IConvertSource>},
    {&CLSID_WavConvSource, &Construct<CWavConvSource, IConvertSource>},
    {&CLSID_MIDIConvSource, &Construct<CMIDIConvSource, IConvertSource>},
    {&CLSID_QCPConvSource, &Construct<CQCPConvSource, IConvertSource>},
    {&CLSID_DirectShowConvSource, &Construct<CDirectShowConvSource, IConvertSource>},
};

const ClassEntry<IConvertDestination> kDestinationClasses[6] = {
    {&CLSID_AIFFConvDest, &Construct<CAIFFConvDest, IConvertDestination>},
    {&CLSID_DirectShowConvDest, &Construct<CDirectShowConvDest, IConvertDestination>},
    {&CLSID_OggConvDest, &Construct<COggConvDest, IConvertDestination>},
    {&CLSID_WavConvDest, &Construct<CWavConvDest, IConvertDestination>},
    {&CLSID_MP3ConvDest, &Construct<CMP3ConvDest, IConvertDestination>},
    {&CLSID_WMAConvDest, &Construct<CWMAConvDest, IConvertDestination>},
};
// clang-format on

} // namespace trelvox
