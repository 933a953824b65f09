#pragma once
// The window's side of an engine's progress: the engine reports from its
// worker thread, and every report is handed to the UI thread as a queued
// call before it is emitted, so whatever listens touches widgets safely.
// Reports still queued when this object goes are dropped with it.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>

#include "app/ProgressReporter.h"

namespace lk::gui {

class WorkerProgress : public QObject, public ProgressReporter {
    Q_OBJECT
  public:
    explicit WorkerProgress(QObject* parent = nullptr) : QObject(parent) {}

    // A step reaches the UI only when its position is a multiple of `every`
    // or the last one: a large store must not flood the event queue. Set
    // before the worker starts.
    void SetStepEvery(int every) { every_ = every > 0 ? every : 1; }
    // Runs on the worker at each step (tests slow a run down with it).
    void SetStepHook(std::function<void()> hook) { hook_ = std::move(hook); }

    // ProgressReporter, called on the worker thread.
    void Begin(int total) override;
    void Step(int done, int total, const std::string& message) override;
    void End() override;

  signals:
    // On the UI thread, in the order the engine reported.
    void Began(int total);
    void Stepped(int done, int total, const QString& message);
    void Ended();

  private:
    int every_ = 1;
    std::function<void()> hook_;
};

}  // namespace lk::gui
