#include "host/map_events.h"

#include <algorithm>

namespace orvex::host {

SubscriptionId MapEvents::subscribe(Handler handler) {
  const SubscriptionId id = nextId_++;
  entries_.push_back({id, std::make_shared<Handler>(std::move(handler))});
  return id;
}

void MapEvents::unsubscribe(SubscriptionId id) {
  entries_.erase(
      std::remove_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; }),
      entries_.end());
}

void MapEvents::raise(const MapEvent& event) {
  // Deliver to a snapshot of the subscribers, checking before each call that the subscriber is
  // still present: handlers may unsubscribe themselves or others (a form that closes on the
  // event), and the shared handler object stays alive while it runs.
  const std::vector<Entry> snapshot = entries_;
  for (const Entry& entry : snapshot) {
    const bool stillSubscribed =
        std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.id == entry.id; });
    if (stillSubscribed && *entry.handler) (*entry.handler)(event);
  }
}

int MapEvents::subscriberCount() const { return static_cast<int>(entries_.size()); }

ScopedSubscription& ScopedSubscription::operator=(ScopedSubscription&& other) noexcept {
  if (this != &other) {
    reset();
    events_ = other.events_;
    id_ = other.id_;
    other.events_ = nullptr;
    other.id_ = 0;
  }
  return *this;
}

void ScopedSubscription::reset() {
  if (events_ != nullptr) events_->unsubscribe(id_);
  events_ = nullptr;
  id_ = 0;
}

}  // namespace orvex::host
