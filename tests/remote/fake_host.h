// A RemoteHost over a plain DeviceState: edits through applyEdit into a RecordingSink, posts run
// by whoever calls runPosted() (the test, or an owner thread of its own).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "link/edit.h"
#include "remote/remote_host.h"

namespace quorvel::test {

class FakeHost : public remote::RemoteHost {
public:
    FakeHost() {
        loadFactoryDefaults(s);
        s.link.linkOnline = true;
        s.link.hostAddress = "127.0.0.2";
    }
    const DeviceState& state() const override { return s; }
    EditOutcome edit(FieldId field, std::int32_t raw) override { return applyEdit(s, sink, field, raw); }
    EditOutcome editName(FieldId field, std::string_view gbk) override {
        return applyNameEdit(s, sink, field, gbk);
    }
    bool recall(std::string_view kind, std::string_view name, int channel, std::string& error) override {
        recalls.push_back(std::string(kind) + "/" + std::string(name) + "/" + std::to_string(channel));
        if (name == "missing") error = "no such preset";
        return name != "missing";
    }
    void connect() override { ++connects; }
    void disconnect() override { ++disconnects; }
    remote::LinkStatus status() const override { return {s.link.linkOnline, s.link.hostAddress, rate, 0}; }
    void post(std::function<void()> fn) override {
        {
            std::lock_guard lock(m);
            posted.push_back(std::move(fn));
        }
        cv.notify_one();
    }
    int runPosted() {
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(m);
            work.swap(posted);
        }
        for (auto& fn : work)
            fn();
        return static_cast<int>(work.size());
    }
    // An owner thread of its own, as the application's event loop would be.
    void startOwner() {
        owner = std::thread([this] {
            std::unique_lock lock(m);
            while (!stopOwner) {
                cv.wait(lock, [&] { return stopOwner || !posted.empty(); });
                auto work = std::move(posted);
                posted.clear();
                lock.unlock();
                for (auto& fn : work)
                    fn();
                lock.lock();
            }
        });
    }
    // Runs fn on the owner thread and waits for it.
    void onOwner(const std::function<void()>& fn) {
        std::mutex done;
        std::condition_variable cvDone;
        bool finished = false;
        post([&] {
            fn();
            std::lock_guard lock(done);
            finished = true;
            cvDone.notify_one();
        });
        std::unique_lock lock(done);
        cvDone.wait(lock, [&] { return finished; });
    }
    void stopOwnerThread() {
        {
            std::lock_guard lock(m);
            stopOwner = true;
        }
        cv.notify_one();
        if (owner.joinable()) owner.join();
    }
    ~FakeHost() override { stopOwnerThread(); }

    DeviceState s;
    RecordingSink sink;
    int rate = 20;
    int connects = 0, disconnects = 0;
    std::vector<std::string> recalls;

private:
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::function<void()>> posted;
    std::thread owner;
    bool stopOwner = false;
};

} // namespace quorvel::test
