#pragma once

#include "plot/tick.h"

#include "simulation/correlator.h"

#include <QFutureWatcher>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>

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

    // Called on every tick: starts a realisation for these settings unless
    // one runs for them already, and abandons one that runs for others.
    // Throws what the last realisation failed with (short of memory, say).
    void want(plot::Settings settings);
    // The latest finished realisation's estimates when it was made for
    // these settings; otherwise none.
    std::span<const double> estimatesFor(plot::Settings settings) const;
    // The seed of that realisation.
    std::uint64_t seedOfLatest() const { return latest_ ? latest_->seed : 0; }

private:
    void start();
    void finished();

    struct Realisation {
        plot::Settings settings;
        std::uint64_t seed;
        simulation::Estimates estimates;
    };

    std::unique_ptr<simulation::Correlator> correlator_;
    QFutureWatcher<std::optional<simulation::Estimates>> watcher_;
    std::atomic<bool> abandon_ = false;
    plot::Settings wanted_;
    Realisation running_{};
    std::optional<Realisation> latest_;
    std::uint64_t nextSeed_;
    std::exception_ptr failure_;
};
