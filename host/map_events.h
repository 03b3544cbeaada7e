#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace orvex::host {

enum class MapEventKind {
  ContentsChanged,   ///< a layer was added, removed or replaced in the focus map
  FocusMapChanged,   ///< another map became the focus map
  SelectionChanged,  ///< the feature selection of the focus map changed
};

struct MapEvent {
  MapEventKind kind{};
};

using SubscriptionId = std::uint64_t;

/// The map events of an active view: subscribers are called in subscription order, on the
/// user-interface thread, by the host that raises the event.
///
/// A handler may subscribe or unsubscribe (itself or others) while an event is being delivered:
/// a handler unsubscribed during delivery is not called afterwards, one subscribed during
/// delivery is first called for the next event. A handler may also raise another event; it is
/// delivered at once (nested).
class MapEvents {
 public:
  using Handler = std::function<void(const MapEvent&)>;

  MapEvents() = default;
  MapEvents(const MapEvents&) = delete;
  MapEvents& operator=(const MapEvents&) = delete;

  /// Returns an id (never 0) for `unsubscribe`.
  SubscriptionId subscribe(Handler handler);
  /// Unknown or already removed ids are ignored.
  void unsubscribe(SubscriptionId id);
  /// Delivers the event. A handler's exception propagates to the raiser after the handler
  /// list is left consistent.
  void raise(const MapEvent& event);
  int subscriberCount() const;

 private:
  struct Entry {
    SubscriptionId id;
    std::shared_ptr<Handler> handler;
  };
  std::vector<Entry> entries_;
  SubscriptionId nextId_ = 1;
};

/// Unsubscribes on destruction (forms that listen while open).
class ScopedSubscription {
 public:
  ScopedSubscription() = default;
  ScopedSubscription(MapEvents& events, MapEvents::Handler handler)
      : events_(&events), id_(events.subscribe(std::move(handler))) {}
  ScopedSubscription(ScopedSubscription&& other) noexcept { *this = std::move(other); }
  ScopedSubscription& operator=(ScopedSubscription&& other) noexcept;
  ScopedSubscription(const ScopedSubscription&) = delete;
  ScopedSubscription& operator=(const ScopedSubscription&) = delete;
  ~ScopedSubscription() { reset(); }

  void reset();

 private:
  MapEvents* events_ = nullptr;
  SubscriptionId id_ = 0;
};

}  // namespace orvex::host
