#include "audio/UnitVorbisSection.h"

#include "audio/UnitAudioConv.h"
#include "audio/UnitSectionFile.h"

#include <vorbis/vorbisenc.h>

#include <stdexcept>

TVorbisSection::TVorbisSection(const TAudioQuality& quality, int serial, TSectionFile& file)
    : FFile(file), FChannels(quality.Channels) {
    vorbis_info_init(&FInfo);
    if (quality.Mode == 1) {
        if (vorbis_encode_init(&FInfo, quality.Channels, quality.Rate, 0, quality.Bitrate, -1) !=
            0) {
            vorbis_info_clear(&FInfo);
            throw std::runtime_error(
                "Best Compression: Unable to initiaise OGG to required encoding rate");
        }
    } else if (vorbis_encode_init_vbr(&FInfo, quality.Channels, quality.Rate, 0.0f) != 0) {
        vorbis_info_clear(&FInfo);
        throw std::runtime_error(
            "Ok Compression: Unable to initiaise OGG to required encoding rate");
    }
    vorbis_comment_init(&FComment); // stays empty: the files carry no comments
    vorbis_analysis_init(&FDspState, &FInfo);
    vorbis_block_init(&FDspState, &FBlock);
    ogg_stream_init(&FStreamState, serial);

    try {
        ogg_packet identification, comment, codebooks;
        vorbis_analysis_headerout(&FDspState, &FComment, &identification, &comment, &codebooks);
        ogg_stream_packetin(&FStreamState, &identification);
        ogg_stream_packetin(&FStreamState, &comment);
        ogg_stream_packetin(&FStreamState, &codebooks);
        while (ogg_stream_flush(&FStreamState, &FPage) != 0)
            WritePage(FPage);
    } catch (...) {
        Clear();
        throw;
    }
}

TVorbisSection::~TVorbisSection() {
    Clear();
}

void TVorbisSection::Clear() {
    ogg_stream_clear(&FStreamState);
    vorbis_block_clear(&FBlock);
    vorbis_dsp_clear(&FDspState);
    vorbis_comment_clear(&FComment);
    vorbis_info_clear(&FInfo);
}

void TVorbisSection::Encode(const uint8_t* data, size_t size) {
    const int frames = static_cast<int>(size / 2 / static_cast<size_t>(FChannels));
    // Telling the analysis about zero frames would end the stream mid-section.
    if (frames == 0)
        return;
    float** buffer = vorbis_analysis_buffer(&FDspState, frames);
    ConvertToPlanar(buffer, data, frames * FChannels * 2, FChannels, 16);
    vorbis_analysis_wrote(&FDspState, frames);
    Drain();
}

void TVorbisSection::Finish() {
    vorbis_analysis_wrote(&FDspState, 0);
    Drain();
}

void TVorbisSection::Drain() {
    bool endOfStream = false;
    while (vorbis_analysis_blockout(&FDspState, &FBlock) == 1) {
        vorbis_analysis(&FBlock, nullptr);
        vorbis_bitrate_addblock(&FBlock);
        while (vorbis_bitrate_flushpacket(&FDspState, &FPacket) != 0) {
            ogg_stream_packetin(&FStreamState, &FPacket);
            while (!endOfStream && ogg_stream_pageout(&FStreamState, &FPage) != 0) {
                WritePage(FPage);
                endOfStream = ogg_page_eos(&FPage) != 0;
            }
        }
    }
}

void TVorbisSection::WritePage(const ogg_page& page) {
    FFile.Write(page.header, static_cast<size_t>(page.header_len));
    FFile.Write(page.body, static_cast<size_t>(page.body_len));
}
