#include "DisplayText.h"

#include <cerrno>
#include <iconv.h>

namespace {
struct Converter {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    ~Converter()
    {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
    bool Ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};
}

QString SjisToQString(const std::string& sjis)
{
    if (sjis.empty())
        return QString();
    // Display text is converted on the GUI thread only; one converter serves the whole run.
    static Converter conv;
    if (!conv.Ok())
        return QString::fromLatin1(sjis.data(), static_cast<qsizetype>(sjis.size()));
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.reserve(sjis.size() * 2);
    char* in = const_cast<char*>(sjis.data());
    size_t inLeft = sjis.size();
    char buf[256];
    while (inLeft > 0) {
        char* o = buf;
        size_t oLeft = sizeof buf;
        const size_t r = iconv(conv.cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<size_t>(o - buf));
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (a lead byte without its trail): mark the byte and go on after it.
        out += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}
