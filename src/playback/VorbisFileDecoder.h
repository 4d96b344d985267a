#pragma once

#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <string>

// One section audio file in the Ogg Vorbis decoder, read through a plain file
// stream; clearing the decoder closes the file.
class TVorbisFileDecoder {
public:
    TVorbisFileDecoder() = default;
    ~TVorbisFileDecoder() { Clear(); }

    TVorbisFileDecoder(const TVorbisFileDecoder&) = delete;
    TVorbisFileDecoder& operator=(const TVorbisFileDecoder&) = delete;

    // Clears any open file first. Returns the message to show when the file
    // cannot be opened or decoded (the file is released then), else "".
    std::string Open(const std::string& path);
    void Clear();
    bool IsOpen() const { return FOpen; }

    int Channels() const;
    long Rate() const;
    // Up to `size` bytes of 16-bit signed little-endian samples, channels
    // interleaved; 0 at the end of the file, negative on a decoder error.
    long Read(uint8_t* buffer, int size);

private:
    OggVorbis_File FFile{};
    bool FOpen = false;
};
