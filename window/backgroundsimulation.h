#pragma once

#include "model/quantization.h"
#include "plot/settings.h"

#include "simulation/correlator.h"

#include <QFutureWatcher>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>

// The window's simulated correlator, on a thread of its own: however long
// a realisation takes, the window goes on ticking. Realisations are drawn
// from seeds firstSeed, firstSeed + 1, ...
class BackgroundSimulation : public QObject {
    Q_OBJECT

public:
    // Throws std::bad_alloc when the memory for it is not there.
    BackgroundSimulation(double seconds, std::uint64_t firstSeed, QObject *parent = nullptr);
    // Abandons a realisation in progress, which takes at most one block.
    ~BackgroundSimulation() override;

    // Called on every tick: starts a realisation for these settings and
    // quantizer unless one runs for them already, and abandons one that
    // runs for others. Throws what the last realisation failed with (short
    // of memory, say).
    void want(plot::Settings settings, model::Levels levels);
    struct Realisation {
        plot::Settings settings;
        model::Levels levels;
        std::uint64_t seed;
        simulation::Estimates estimates;
    };
    // The latest finished realisation when it was made for these settings
    // and quantizer; otherwise none.
    const Realisation *latestFor(plot::Settings settings, model::Levels levels) const;
    double seconds() const { return seconds_; }

private:
    void start();
    void finished();

    double seconds_;

    std::unique_ptr<simulation::Correlator> correlator_;
    QFutureWatcher<std::optional<simulation::Estimates>> watcher_;
    std::atomic<bool> abandon_ = false;
    plot::Settings wanted_;
    model::Levels wantedLevels_ = model::Levels::Two;
    Realisation running_{};
    std::optional<Realisation> latest_;
    std::uint64_t nextSeed_;
    std::exception_ptr failure_;
};
