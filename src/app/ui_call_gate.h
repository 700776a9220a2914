#pragma once
// UiCallGate: how the acquisition thread runs the screen hand-off on the
// user-interface thread and waits for it.

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace kr40 {

// The worker's synchronous call onto the user-interface thread. Unlike a
// blocking queued connection it can be closed: a call waiting when the window
// stops the thread is released without running, so joining the thread never
// waits for a user-interface thread that is itself waiting for the join.
class UiCallGate {
public:
    explicit UiCallGate(QObject* context) : context_(context) {}

    // Worker thread: runs fn on the user-interface thread and returns when it
    // has run, or at once when the gate is (or gets) closed.
    void Run(const std::function<void()>& fn)
    {
        auto call = std::make_shared<Call>();
        {
            std::lock_guard lock(mutex_);
            if (closed_) return;
            pending_ = call;
        }
        const std::function<void()>* job = &fn;
        QMetaObject::invokeMethod(
            context_,
            [this, call, job] {
                {
                    std::lock_guard lock(mutex_);
                    if (call->released) return;  // the worker has gone on without it
                }
                (*job)();
                std::lock_guard lock(mutex_);
                call->released = true;
                done_.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return call->released; });
        pending_.reset();
    }

    // User-interface thread: refuses further calls and releases a waiting one.
    void Close()
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        if (pending_) pending_->released = true;
        done_.notify_all();
    }

private:
    struct Call {
        bool released = false;
    };
    QObject* context_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::shared_ptr<Call> pending_;
    bool closed_ = false;
};

}  // namespace kr40
