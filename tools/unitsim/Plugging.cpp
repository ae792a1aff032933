#include "tools/unitsim/Plugging.h"

#include <algorithm>

namespace vantrel::sim {

bool FinishedInTime(const PortStatus& port) {
    return port.finishedAt && (port.tookDemon || *port.finishedAt <= port.pluggedAt + kGiveUpAfter);
}

TimePoint DoneWithAt(const PortStatus& port) {
    if (FinishedInTime(port)) {
        return *port.finishedAt;
    }
    // A long image takes longer than the give-up time; pulling it mid-flash would be no test.
    return port.tookDemon ? TimePoint::max() : port.pluggedAt + kGiveUpAfter;
}

std::chrono::milliseconds DurationDraw::operator()(const Range& range) {
    if (range.max <= range.min) {
        return range.min;
    }
    const auto span = static_cast<std::uint64_t>((range.max - range.min).count()) + 1;
    // 64 random bits make the remainder's bias negligible for any span.
    const std::uint64_t bits = std::uint64_t{engine_()} << 32 | engine_();
    return range.min + std::chrono::milliseconds(static_cast<std::int64_t>(bits % span));
}

RandomPlugging::RandomPlugging(const PlugPlan& plan, unsigned ports) : plan_(plan) {
    for (unsigned number = 1; number <= ports; ++number) {
        ports_.push_back({DurationDraw(plan.seed + number)});
    }
}

TimePoint RandomPlugging::StepTime(std::size_t index, const PortStatus& status) {
    Port& port = ports_[index];
    if (port.unit != status.unit) {
        // Both times drawn at once, so a run draws alike however its units fare.
        port.unit = status.unit;
        port.away = port.draw(plan_.away);
        port.back = port.draw(plan_.back);
    }
    if (!status.present) {
        return status.pulledAt.value_or(status.pluggedAt) + port.back;
    }
    return DoneWithAt(status) + (FinishedInTime(status) ? port.away : std::chrono::milliseconds(0));
}

std::vector<PortStep> RandomPlugging::Due(std::span<const PortStatus> ports, TimePoint now) {
    std::vector<PortStep> steps;
    for (std::size_t i = 0; i < ports.size() && i < ports_.size(); ++i) {
        if (StepTime(i, ports[i]) <= now) {
            const auto kind = ports[i].present ? PortStep::Kind::Pull : PortStep::Kind::Plug;
            steps.push_back({static_cast<unsigned>(i + 1), kind});
        }
    }
    return steps;
}

std::optional<TimePoint> RandomPlugging::Next(std::span<const PortStatus> ports) {
    std::optional<TimePoint> next;
    for (std::size_t i = 0; i < ports.size() && i < ports_.size(); ++i) {
        const TimePoint at = StepTime(i, ports[i]);
        next = std::min(next.value_or(at), at);
    }
    return next;
}

void OperatorQueue::Join(unsigned port, TimePoint at) {
    const auto same = [port](const Waiting& waiting) { return waiting.port == port; };
    if (std::any_of(waiting_.begin(), waiting_.end(), same)) {
        return;
    }
    const auto later = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& w) {
        return w.since > at || (w.since == at && w.port > port);
    });
    waiting_.insert(later, {port, at});
}

void OperatorQueue::Leave(unsigned port) {
    std::erase_if(waiting_, [port](const Waiting& waiting) { return waiting.port == port; });
}

std::vector<PortStep> OperatorQueue::Take(TimePoint now) {
    std::vector<PortStep> steps;
    if (swapping_ && swapping_->plugAt <= now) {
        steps.push_back({swapping_->port, PortStep::Kind::Plug});
        swapping_.reset();
    }
    if (!swapping_ && !waiting_.empty() && waiting_.front().since <= now) {
        const unsigned port = waiting_.front().port;
        waiting_.pop_front();
        steps.push_back({port, PortStep::Kind::Pull});
        swapping_ = Swap{port, now + swap_};
    }
    return steps;
}

std::optional<TimePoint> OperatorQueue::Next() const {
    if (swapping_) {
        return swapping_->plugAt;
    }
    if (waiting_.empty()) {
        return std::nullopt;
    }
    return waiting_.front().since;
}

std::vector<PortStep> OperatorPlugging::Due(std::span<const PortStatus> ports, TimePoint now) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const auto port = static_cast<unsigned>(i + 1);
        const PortStatus& status = ports[i];
        const auto queued = queued_.find(port);
        if (queued != queued_.end() && queued->second != status.unit) {
            // A fresh unit came by other hands; the old one's turn is void.
            queue_.Leave(port);
            queued_.erase(queued);
        }
        if (status.present && !queued_.contains(port) && DoneWithAt(status) <= now) {
            queue_.Join(port, DoneWithAt(status));
            queued_[port] = status.unit;
        }
    }
    return queue_.Take(now);
}

std::optional<TimePoint> OperatorPlugging::Next(std::span<const PortStatus> ports) {
    std::optional<TimePoint> next = queue_.Next();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const auto queued = queued_.find(static_cast<unsigned>(i + 1));
        if (ports[i].present && (queued == queued_.end() || queued->second != ports[i].unit)) {
            const TimePoint at = DoneWithAt(ports[i]);
            next = std::min(next.value_or(at), at);
        }
    }
    return next;
}

}  // namespace vantrel::sim
