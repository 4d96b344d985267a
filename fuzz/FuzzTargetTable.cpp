#include "FuzzTargets.h"

const std::vector<TFuzzTarget>& FuzzTargets() {
    static const std::vector<TFuzzTarget> targets{
        {"recording", FuzzRecording},
        {"info_file", FuzzInfoFile},
        {"comma_text", FuzzCommaText},
        {"demo_part", FuzzDemoPart},
        {"pe_version", FuzzPeVersion},
        {"wine_registry", FuzzWineRegistry},
        {"connection", FuzzConnection},
        {"filmer_thread", FuzzFilmerThread},
        {"viewer_thread", FuzzViewerThread},
        {"server_session", FuzzServerSession},
        {"cast_assembly", FuzzCastAssembly},
        {"completed", FuzzCompleted},
        {"cast_archive", FuzzCastArchive},
        {"playlist", FuzzPlaylist},
        {"mp3", FuzzMp3},
        {"vorbis", FuzzVorbis},
#ifdef NELQ_FUZZ_SETTINGS
        {"settings", FuzzSettings},
#endif
    };
    return targets;
}
