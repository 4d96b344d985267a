#pragma once

#include "audio/UnitAudioQuality.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <cstddef>
#include <cstdint>

class TSectionFile;

// The Ogg Vorbis state of one section file. Construction sets the encoder up
// for a quality entry and writes the three header packets on pages of their
// own; destruction releases every library record.
class TVorbisSection {
public:
    TVorbisSection(const TAudioQuality& quality, int serial, TSectionFile& file);
    ~TVorbisSection();

    TVorbisSection(const TVorbisSection&) = delete;
    TVorbisSection& operator=(const TVorbisSection&) = delete;

    // Encodes interleaved 16-bit PCM; a trailing partial frame is ignored.
    void Encode(const uint8_t* data, size_t size);
    // Ends the stream: the last pages, down to the end-of-stream page.
    void Finish();

private:
    void Drain();
    void WritePage(const ogg_page& page);
    void Clear();

    TSectionFile& FFile;
    int FChannels;
    vorbis_info FInfo{};
    vorbis_comment FComment{};
    vorbis_dsp_state FDspState{};
    vorbis_block FBlock{};
    ogg_stream_state FStreamState{};
    ogg_packet FPacket{};
    ogg_page FPage{};
};
