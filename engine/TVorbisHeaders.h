#pragma once
// The comments of the first Vorbis stream of an Ogg file, read from its headers alone: pages are
// read from the front of the file only until the stream's three header packets are whole, and
// nothing is decoded. What the decoder's open would refuse in the identification and comment
// headers (or a missing setup header) is refused here as well; the setup header's codebooks are
// left to the decoder when the file is played.
#include <cstdio>
#include <string>
#include <vector>

class TVorbisHeaders {
public:
    // Reads from f's position on. The comment lines in stream order, each up to its first NUL
    // byte, as the decoder hands them out. Throws ERangeError ("ファイルの読み込みに失敗") when
    // the headers are missing or malformed.
    static std::vector<std::string> ReadComments(std::FILE* f);
};
