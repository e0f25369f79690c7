#include "window/backgroundsimulation.h"

#include <QtConcurrent>

BackgroundSimulation::BackgroundSimulation(double seconds, std::uint64_t firstSeed, QObject *parent)
    : QObject(parent), seconds_(seconds), correlator_(std::make_unique<simulation::Correlator>(seconds)),
      nextSeed_(firstSeed)
{
    connect(&watcher_, &QFutureWatcherBase::finished, this, &BackgroundSimulation::finished);
}

BackgroundSimulation::~BackgroundSimulation()
{
    abandon_ = true;
    watcher_.waitForFinished();
}

void BackgroundSimulation::want(plot::Settings settings, model::Levels levels)
{
    if (failure_)
        std::rethrow_exception(failure_);
    wanted_ = settings;
    wantedLevels_ = levels;
    if (!watcher_.isRunning())
        start();
    else if (running_.settings != settings || running_.levels != levels)
        abandon_ = true;
}

const BackgroundSimulation::Realisation *BackgroundSimulation::latestFor(plot::Settings settings,
                                                                         model::Levels levels) const
{
    return latest_ && latest_->settings == settings && latest_->levels == levels ? &*latest_ : nullptr;
}

void BackgroundSimulation::start()
{
    abandon_ = false;
    running_ = {wanted_, wantedLevels_, nextSeed_++, {}};
    watcher_.setFuture(QtConcurrent::run([this, run = running_] {
        return correlator_->run(
            run.settings.snrDb, run.settings.delayUs, run.seed, [this](std::size_t, std::size_t) { return !abandon_; },
            run.levels);
    }));
}

// A finished realisation waits for the next tick; one abandoned for
// settings that no longer hold makes way at once for the settings that do.
void BackgroundSimulation::finished()
{
    std::optional<simulation::Estimates> estimates;
    try {
        estimates = watcher_.result();
    } catch (const QUnhandledException &unhandled) {
        failure_ = unhandled.exception(); // the next tick reports it
        return;
    } catch (...) {
        failure_ = std::current_exception();
        return;
    }
    if (estimates) {
        running_.estimates = *estimates;
        latest_ = running_;
    } else {
        start();
    }
}
