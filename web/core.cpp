// The core as the page calls it: the window's tick drawn into pixels, the
// curve's file, and the simulation a block at a time for the worker. Plain
// functions over numbers and this module's memory, which is all that
// WebAssembly passes.
#include "model/quantization.h"
#include "plot/pixelsurface.h"
#include "plot/tick.h"
#include "plot/values.h"
#include "simulation/correlator.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#define EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

std::unique_ptr<plot::PixelSurface> surface;
std::vector<std::uint32_t> rgba;
std::array<std::string, 3> readouts;
std::string separator = ".";
std::string text;
simulation::Estimates estimates{};

// What the page hands in: the estimates of the squares shown, and a text
// (the decimal separator), in buffers it writes into.
std::array<double, simulation::kLags> estimatesIn{};
char textIn[64];

std::optional<simulation::Correlator> correlator;
std::optional<simulation::Correlator::Stepping> stepping;
double correlatorSeconds = 0;

model::Quantization quantizationOf(int levels, int vanVleck)
{
    const model::Levels all[] = {model::Levels::Two, model::Levels::Three, model::Levels::Four,
                                 model::Levels::Analog};
    return {all[levels >= 0 && levels < 4 ? levels : 0], vanVleck != 0};
}

std::vector<double> shownOf(int withEstimates, model::Quantization quantization)
{
    if (!withEstimates)
        return {};
    return plot::shownEstimates(estimatesIn, quantization);
}

} // namespace

// A fault is the end of the program, as on the desktop: the page is told
// why, and the call traps. This build has no exceptions to unwind with;
// everything the core throws is a std::exception and nothing else.
extern "C" __attribute__((import_module("correlatore"), import_name("fault"))) void reportFault(const char *what,
                                                                                              std::size_t length);

// This build's C++ library returns a null pointer from new when memory
// runs out, and address 0 is writable memory here: a want of memory is a
// fault instead, as std::bad_alloc is on the desktop.
[[noreturn]] void outOfMemory()
{
    static const char what[] = "std::bad_alloc";
    reportFault(what, sizeof what - 1);
    __builtin_trap();
}

void *operator new(std::size_t size)
{
    if (void *memory = std::malloc(size ? size : 1))
        return memory;
    outOfMemory();
}

void *operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete(void *memory) noexcept
{
    std::free(memory);
}

void operator delete[](void *memory) noexcept
{
    std::free(memory);
}

void operator delete(void *memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void *memory, std::size_t) noexcept
{
    std::free(memory);
}

extern "C" void *__cxa_allocate_exception(std::size_t size) noexcept
{
    if (void *memory = std::malloc(size))
        return memory;
    outOfMemory();
}

extern "C" [[noreturn]] void __cxa_throw(void *thrown, std::type_info *, void (*)(void *))
{
    const std::string what = static_cast<const std::exception *>(thrown)->what();
    reportFault(what.data(), what.size());
    __builtin_trap();
}

EXPORT(estimatesIn) double *exportEstimatesIn()
{
    return estimatesIn.data();
}

EXPORT(textIn) char *exportTextIn()
{
    return textIn;
}

// The text the page wrote into textIn as the decimal separator.
EXPORT(setSeparator) void setSeparator(int length)
{
    separator.assign(textIn, std::size_t(length >= 0 && length < int(sizeof textIn) ? length : 0));
}

// A surface of width x height device pixels, twipsPerPixel each, with the
// bare frame on it; background is 0xBBGGRR.
EXPORT(frame) void frame(int width, int height, double twipsPerPixel, std::uint32_t background)
{
    if (!surface || surface->width() != width || surface->height() != height
        || surface->twipsPerPixel() != twipsPerPixel || surface->colours().front() != background)
        surface = std::make_unique<plot::PixelSurface>(width, height, twipsPerPixel, background);
    plot::drawFrame(*surface);
}

// One tick of the window; withEstimates: the squares are in estimatesIn
// (uncorrected).
EXPORT(tick) void tick(int snrDb, int delayUs, int levels, int vanVleck, int withEstimates)
{
    const model::Quantization quantization = quantizationOf(levels, vanVleck);
    const std::vector<double> shown = shownOf(withEstimates, quantization);
    plot::tick(*surface, {std::int16_t(snrDb), std::int16_t(delayUs)}, quantization, shown, separator,
               [](plot::Readout readout, const std::string &value) { readouts[std::size_t(readout)] = value; });
}

// The readouts the last tick wrote: 0 the signal-to-noise ratio, 1 the
// delay, 2 the zero-lag value; NUL-terminated UTF-8.
EXPORT(readout) const char *readout(int which)
{
    return readouts[std::size_t(which >= 0 && which < 3 ? which : 0)].c_str();
}

// The surface as RGBA bytes, width x height, for a canvas.
EXPORT(rgba) const std::uint32_t *exportRgba()
{
    const std::vector<plot::Colour> &colours = surface->colours();
    std::uint32_t palette[256] = {};
    for (std::size_t i = 0; i < colours.size(); ++i)
        palette[i] = colours[i] | 0xff000000u; // 0xAABBGGRR is R, G, B, A in little-endian memory
    const int width = surface->width(), height = surface->height(), stride = surface->stride();
    rgba.resize(std::size_t(width) * std::size_t(height));
    const std::uint8_t *pixels = surface->pixels().get();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rgba[std::size_t(y) * std::size_t(width) + std::size_t(x)] = palette[pixels[y * stride + x]];
    return rgba.data();
}

// The curve's file for these settings, its length; the bytes at csvData().
EXPORT(csv) int csv(int snrDb, int delayUs, int levels, int vanVleck, int withEstimates)
{
    const model::Quantization quantization = quantizationOf(levels, vanVleck);
    text = plot::curveCsv({std::int16_t(snrDb), std::int16_t(delayUs)}, quantization,
                          shownOf(withEstimates, quantization));
    return int(text.size());
}

EXPORT(csvData) const char *csvData()
{
    return text.data();
}

// The worker's side: a realisation of seconds of signal begun, then counted
// a block at a time, so that a message can stop it between blocks.
EXPORT(simulationStart) int simulationStart(double seconds, int snrDb, int delayUs, std::uint64_t seed, int levels)
{
    stepping.reset();
    if (!correlator || correlatorSeconds != seconds) {
        correlator.reset();
        correlator.emplace(seconds, 1);
        correlatorSeconds = seconds;
    }
    stepping.emplace(*correlator, std::int16_t(snrDb), std::int16_t(delayUs), seed,
                     quantizationOf(levels, 0).levels);
    return int(stepping->blocks());
}

// Counts the next block; 0 once the realisation is done, and its estimates
// are then at simulationEstimates().
EXPORT(simulationStep) int simulationStep()
{
    if (stepping->step())
        return 1;
    estimates = stepping->estimates();
    return 0;
}

EXPORT(simulationEstimates) const double *simulationEstimates()
{
    return estimates.data();
}
