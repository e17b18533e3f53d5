#include "link/paced_sender.h"

#include <algorithm>

#include <arpa/inet.h>

#include <array>

#include "link/frame.h"
#include "link/ipv4.h"

namespace quorvel {

std::optional<Destination> makeDestination(std::string_view host, std::uint16_t port) {
    Destination d;
    if (!parseIpv4(host, d.address.sin_addr)) return std::nullopt;
    d.host = std::string(host);
    d.port = port;
    d.address.sin_family = AF_INET;
    d.address.sin_port = htons(port);
    return d;
}

namespace {

// One comma-terminated field as written by the command builders: upper-case hex digits only.
bool hexField(std::string_view f, int& out) {
    if (f.empty() || f.size() > 4) return false;
    int v = 0;
    for (char c : f) {
        if (c >= '0' && c <= '9')
            v = v * 16 + (c - '0');
        else if (c >= 'A' && c <= 'F')
            v = v * 16 + (c - 'A' + 10);
        else
            return false;
    }
    out = v;
    return true;
}

constexpr int kValueChannels = kAnalogInputs + kOutputRecords; // A above this goes bare

} // namespace

std::optional<CoalesceKey> coalesceKeyOf(const OutgoingFrame& frame) {
    const std::string_view t = frame.text;
    if (frame.inPieces || frame.keepsPlace || t.size() < kMinFrameLength || t[0] != '%' || t[2] != ',' ||
        t.back() != '#')
        return std::nullopt;
    // Fields after the letter: [0] the unit, then the selectors.
    std::array<int, 4> field{};
    std::size_t from = 3;
    int count = 0;
    while (count < 4) {
        const std::size_t comma = t.find(',', from);
        if (comma == std::string_view::npos) break;
        if (!hexField(t.substr(from, comma - from), field[static_cast<std::size_t>(count)])) break;
        ++count;
        from = comma + 1;
    }
    CoalesceKey k;
    k.letter = t[1];
    // A selector outside the records the letter's builder takes is some other use of the letter
    // (I after each channel of a bulk transfer, A for an effect return): its place in the stream
    // may be what matters, so it keeps it.
    auto record = [&](int hi) {
        if (count < 2 || field[1] < 1 || field[1] > hi) return false;
        k.first = field[1];
        return true;
    };
    switch (k.letter) {
    case 'M':
    case 'N':
    case 'y':
    case 'v':
        if (count < 1) return std::nullopt;
        return k;
    case 'a':
        if (!record(kInputRecords)) return std::nullopt;
        return k;
    case 'A':
        if (!record(kValueChannels)) return std::nullopt;
        return k;
    case 'G':
        // unit, channel, PEQ switch, band
        if (count < 4 || !record(kInputRecords) || field[3] < 1 || field[3] > kPeqBands) return std::nullopt;
        k.second = field[3];
        k.shareFirst = field[1];
        return k;
    case 'O':
        if (!record(kAnalogInputs)) return std::nullopt;
        k.sharesLetter = true;
        return k;
    case 'B':
    case 'C':
        if (!record(kAnalogInputs)) return std::nullopt;
        return k;
    case 'E':
    case 'F':
    case 'L':
        if (!record(kInputRecords)) return std::nullopt;
        return k;
    case 'D':
    case 'H':
    case 'I':
    case 'J':
    case 'K':
        if (!record(kOutputRecords)) return std::nullopt;
        return k;
    default:
        return std::nullopt;
    }
}

const LinkClock& PacedSender::realTime() {
    static const SteadyLinkClock clock;
    return clock;
}

PacedSender::PacedSender(SendFn send, const LinkClock& clock, Threading threading)
    : send_(std::move(send)), clock_(clock), manual_(threading == Threading::Manual) {
    if (!manual_) thread_ = std::thread([this] { run(); });
}

PacedSender::~PacedSender() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool PacedSender::coalesce(Item& item) {
    if (!item.key) return false;
    const CoalesceKey& k = *item.key;
    // From the back: the newest queued frame of the same record, unless a frame sharing a field
    // with it was queued after it.
    for (auto it = queue_.rbegin(); it != queue_.rend(); ++it) {
        if (!it->key || it->key->letter != k.letter || it->started) continue;
        const CoalesceKey& q = *it->key;
        const bool same = q.first == k.first && q.second == k.second;
        if (same) {
            // Meant for another device (the address changed meanwhile): both go.
            if (it->to.host != item.to.host || it->to.port != item.to.port) return false;
            // The place keeps the longer pause: a member copy's 10 ms must still follow it when
            // the newer value came from the member's own fader without one.
            const auto pause = std::max(it->frame.pauseAfter, item.frame.pauseAfter);
            it->frame = std::move(item.frame);
            it->frame.pauseAfter = pause;
            ++stats_.coalesced;
            return true;
        }
        if (k.sharesLetter || (k.shareFirst >= 0 && q.shareFirst == k.shareFirst)) return false;
    }
    return false;
}

void PacedSender::enqueue(OutgoingFrame frame, Destination to) {
    Item item{std::move(frame), std::move(to), {}, {}, 0, false, true, {}, {}};
    std::unique_lock lock(mutex_);
    if (stop_) return;
    if (queue_.empty() && !busy_ && !item.frame.inPieces && clock_.now() >= lineFreeAt_) {
        // The line is free: skipping the hand-over to the sender thread saves a wake-up on
        // every fader move.
        sendDirect(lock, item);
        if (!queue_.empty()) wake_.notify_one();
        return;
    }
    // Only a frame that has to wait is read for its record: the direct path stays as short as it was.
    item.key = coalesceKeyOf(item.frame);
    if (coalesce(item)) return;
    if (item.frame.inPieces) item.pieces = splitPieces(item.frame.text);
    queue_.push_back(std::move(item));
    lock.unlock();
    wake_.notify_one();
}

bool PacedSender::drain(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (queue_.empty() && !busy_) {
            // The last frame's pause belongs to it: a caller that closes the socket next must not
            // cut it.
            const auto now = clock_.now();
            if (now >= lineFreeAt_) return true;
            if (manual_ || std::chrono::steady_clock::now() + (lineFreeAt_ - now) > until) return false;
            drained_.wait_for(lock, lineFreeAt_ - now);
            continue;
        }
        if (manual_) return false;
        if (drained_.wait_until(lock, until) == std::cv_status::timeout && !(queue_.empty() && !busy_))
            return false;
    }
}

bool PacedSender::idle() const {
    std::lock_guard lock(mutex_);
    return queue_.empty() && !busy_;
}

bool PacedSender::settled() const {
    std::lock_guard lock(mutex_);
    return queue_.empty() && !busy_ && clock_.now() >= lineFreeAt_;
}

void PacedSender::clear() {
    std::lock_guard lock(mutex_);
    // A frame whose first pieces are out keeps going: the device would otherwise wait for the rest.
    std::erase_if(queue_, [](const Item& i) { return !i.started; });
    if (queue_.empty() && !busy_) drained_.notify_all();
}

void PacedSender::setFailureHandler(FailureFn fn) {
    std::lock_guard lock(mutex_);
    onFailure_ = std::move(fn);
}

void PacedSender::setFrameTap(FrameTap* tap) {
    std::lock_guard lock(mutex_);
    tap_ = tap;
}

SenderStats PacedSender::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

int PacedSender::pump() {
    std::unique_lock lock(mutex_);
    int sent = 0;
    while (!queue_.empty() && !busy_ && !stop_ && clock_.now() >= lineFreeAt_) {
        step(lock);
        ++sent;
    }
    return sent;
}

std::optional<Clock::time_point> PacedSender::nextDue() const {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    return lineFreeAt_;
}

void PacedSender::sendDirect(std::unique_lock<std::mutex>& lock, Item& item) {
    busy_ = true;
    if (tap_) item.firstOut = std::chrono::system_clock::now();
    lock.unlock();
    std::string error;
    const bool sent = send_(item.to, item.frame.text, error);
    lock.lock();
    busy_ = false;
    lineFreeAt_ = clock_.now() + item.frame.pauseAfter;
    if (sent) {
        ++stats_.datagramsSent;
    } else {
        item.ok = false;
        item.error = std::move(error);
    }
    finished(lock, item);
}

void PacedSender::step(std::unique_lock<std::mutex>& lock) {
    Item& front = queue_.front();
    const std::string& datagram = front.pieces.empty() ? front.frame.text : front.pieces[front.next];
    busy_ = true;
    front.started = true;
    if (tap_ && front.next == 0) front.firstOut = std::chrono::system_clock::now();
    lock.unlock();
    std::string error;
    // The front item stays where it is while busy_ holds: enqueue neither sends past it nor
    // replaces it once started, and clear() leaves started items alone.
    const bool sent = send_(front.to, datagram, error);
    lock.lock();
    busy_ = false;
    ++front.next;
    if (sent) {
        ++stats_.datagramsSent;
    } else {
        front.ok = false;
        front.error = std::move(error);
    }
    // The device drops what arrives while it is still digesting a slow command, so the pause runs
    // even after a failed piece: the next datagram must not come early.
    lineFreeAt_ = clock_.now() + front.frame.pauseAfter;
    const std::size_t total = front.pieces.empty() ? 1 : front.pieces.size();
    if (front.next < total) return;
    Item done = std::move(front);
    queue_.pop_front();
    finished(lock, done);
}

void PacedSender::finished(std::unique_lock<std::mutex>& lock, Item& item) {
    FailureFn failed;
    if (item.ok) {
        ++stats_.framesSent;
        if (tap_) {
            // A tap set while the frame was under way has no stamp of its first datagram.
            const auto first = item.firstOut == std::chrono::system_clock::time_point{}
                                   ? std::chrono::system_clock::now()
                                   : item.firstOut;
            tap_->frameSent(item.frame.text, first);
        }
    } else {
        ++stats_.failures;
        stats_.lastError = item.error;
        failed = onFailure_;
    }
    if (failed) {
        lock.unlock();
        failed(item.error);
        lock.lock();
    }
    // After the handler: whoever drained may tear down what it uses.
    if (queue_.empty()) drained_.notify_all();
}

void PacedSender::run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (queue_.empty() || busy_) {
            wake_.wait(lock);
            continue;
        }
        const auto now = clock_.now();
        if (now < lineFreeAt_) {
            wake_.wait_for(lock, lineFreeAt_ - now);
            continue;
        }
        step(lock);
    }
    drained_.notify_all();
}

} // namespace quorvel
