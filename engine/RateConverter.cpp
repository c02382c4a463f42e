// TRateConverter over libsoxr.
#include "RateConverter.h"
#include "OutputFormat.h"

#include <soxr.h>

#include <stdexcept>
#include <string>

void TRateConverter::Closer::operator()(soxr* s) const
{
    soxr_delete(s);
}

TRateConverter::TRateConverter(double inputRate)
{
    // 16-bit in and out, interleaved. No dither: the output is rounded, so that a block rendered
    // twice is the same bytes, and the converter adds nothing the source did not hold.
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    Soxr.reset(soxr_create(inputRate, OutputFormat::Rate, OutputFormat::Channels, &error, &io, &quality, nullptr));
    if (error != nullptr || !Soxr)
        throw std::runtime_error(std::string("soxr: ") + (error ? error : "cannot create"));
}

TRateConverter::~TRateConverter() = default;

size_t TRateConverter::Process(const int16_t* in, size_t inFrames, size_t& inUsed, int16_t* out, size_t outFrames)
{
    static const int16_t none[OutputFormat::Channels] = {};
    size_t used = 0, done = 0;
    // A null input would tell libsoxr the stream has ended.
    soxr_process(Soxr.get(), in != nullptr ? in : none, in != nullptr ? inFrames : 0, &used, out, outFrames, &done);
    inUsed = used;
    return done;
}

size_t TRateConverter::Flush(int16_t* out, size_t outFrames)
{
    size_t done = 0;
    soxr_process(Soxr.get(), nullptr, 0, nullptr, out, outFrames, &done);
    return done;
}

double TRateConverter::Delay() const
{
    return soxr_delay(Soxr.get());
}

void TRateConverter::Clear()
{
    soxr_clear(Soxr.get());
}
