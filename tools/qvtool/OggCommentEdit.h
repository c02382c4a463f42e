#pragma once
// TOggCommentEdit: the comment header of an Ogg Vorbis stream, read and written again without
// touching anything else. Only the comment packet is rebuilt; the header pages are paged anew
// with libogg and the audio pages are copied as they are, their page numbers moved on (and their
// checksums made again) when the header takes a different number of pages. No audio packet,
// granule position or byte of sound changes.
#include <cstdint>
#include <string>
#include <vector>

class TOggCommentEdit {
public:
    // Reads the stream's pages and headers. Throws std::runtime_error, with a message for the
    // user, for a stream that is not Ogg Vorbis or whose headers share a page with sound.
    explicit TOggCommentEdit(const std::vector<uint8_t>& ogg);

    const std::string& Vendor() const { return vendor_; }
    // "NAME=value", as stored.
    const std::vector<std::string>& Comments() const { return comments_; }
    // The whole stream with these comments (and the vendor text kept).
    std::vector<uint8_t> With(const std::vector<std::string>& comments) const;

private:
    struct TPage {
        std::vector<uint8_t> bytes;  // header and body as read
        int serial = 0;
    };
    std::vector<TPage> pages_;
    int serial_ = 0;
    size_t firstHeader_ = 0;  // index of the first and one past the last page of the headers
    size_t endHeader_ = 0;
    long headerPages_ = 0;  // pages of the headers as read
    std::vector<uint8_t> ident_;
    std::vector<uint8_t> setup_;
    std::string vendor_;
    std::vector<std::string> comments_;
};
