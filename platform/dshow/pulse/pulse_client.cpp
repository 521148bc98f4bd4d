#include "platform/dshow/pulse/pulse_client.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>

namespace quavix::pulse {

const char *StatusText(PulseStatus status) {
  switch (status) {
    case PulseStatus::kOk: return "ok";
    case PulseStatus::kNoServer: return "no sound server";
    case PulseStatus::kTimeout: return "the sound server did not answer in time";
    case PulseStatus::kNotFound: return "no such source";
    case PulseStatus::kInvalidArgument: return "invalid argument";
    case PulseStatus::kWrongThread: return "called from the sound server thread";
    case PulseStatus::kFailed: return "the sound server refused";
  }
  return "?";
}

namespace {

using Clock = std::chrono::steady_clock;

// One listing of cards, sinks, sources and the server's defaults: four
// requests whose answers arrive in pieces on the main loop thread.
struct ListingRequest {
  ServerListing listing;
  int outstanding = 4;
  bool failed = false;
  std::vector<pa_operation *> ops;
  std::function<void(ListingRequest *)> on_complete;  // main loop thread, lock held

  void Finish(bool ok) {
    if (!ok) failed = true;
    if (--outstanding == 0 && on_complete) on_complete(this);
  }
  void Release(bool cancel) {
    for (pa_operation *op : ops) {
      if (cancel && pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
      pa_operation_unref(op);
    }
    ops.clear();
  }
};

std::string Prop(const pa_proplist *p, const char *key) {
  const char *v = p ? pa_proplist_gets(p, key) : nullptr;
  return v ? v : "";
}
std::string Str(const char *s) { return s ? s : ""; }

void OnServerInfo(pa_context *, const pa_server_info *i, void *userdata) {
  auto *r = static_cast<ListingRequest *>(userdata);
  if (i) r->listing.default_sink = Str(i->default_sink_name);
  r->Finish(i != nullptr);
}
void OnCardInfo(pa_context *, const pa_card_info *i, int eol, void *userdata) {
  auto *r = static_cast<ListingRequest *>(userdata);
  if (eol != 0) return r->Finish(eol > 0);
  r->listing.cards.push_back(
      {i->index, Str(i->name), Prop(i->proplist, PA_PROP_DEVICE_DESCRIPTION)});
}
void OnSinkInfo(pa_context *, const pa_sink_info *i, int eol, void *userdata) {
  auto *r = static_cast<ListingRequest *>(userdata);
  if (eol != 0) return r->Finish(eol > 0);
  r->listing.sinks.push_back(
      {i->index, Str(i->name), Str(i->description), i->card, i->monitor_source});
}
void OnSourceInfo(pa_context *, const pa_source_info *i, int eol, void *userdata) {
  auto *r = static_cast<ListingRequest *>(userdata);
  if (eol != 0) return r->Finish(eol > 0);
  r->listing.sources.push_back(
      {i->index, Str(i->name), Str(i->description), i->card, i->monitor_of_sink});
}

// Issues the four requests; false (nothing left running) when the
// connection refuses one.
bool StartListing(pa_context *ctx, ListingRequest *r) {
  pa_operation *ops[] = {pa_context_get_server_info(ctx, OnServerInfo, r),
                         pa_context_get_card_info_list(ctx, OnCardInfo, r),
                         pa_context_get_sink_info_list(ctx, OnSinkInfo, r),
                         pa_context_get_source_info_list(ctx, OnSourceInfo, r)};
  bool ok = true;
  for (pa_operation *op : ops) {
    if (op)
      r->ops.push_back(op);
    else
      ok = false;
  }
  if (!ok) r->Release(true);
  return ok;
}

std::set<std::string> DeviceIds(const ServerListing &listing) {
  std::set<std::string> ids;
  for (const auto &d : GroupCaptureDevices(listing)) ids.insert(d.id);
  return ids;
}

bool IsDead(pa_context_state_t s) { return s == PA_CONTEXT_FAILED || s == PA_CONTEXT_TERMINATED; }

}  // namespace

// Locking: `ml` (the main loop's lock, recursive, held by the main loop
// thread while it runs callbacks) guards the context, the listeners and the
// watch state. `m` guards only what waiting callers read (completion flags,
// the context state) and is never held while taking `ml`. `call` serialises
// the synchronous calls, so only one of them (re)connects at a time.
struct PulseClient::Impl {
  pa_threaded_mainloop *ml = nullptr;
  pa_context *ctx = nullptr;

  std::mutex call;
  std::mutex m;
  std::condition_variable cv;
  pa_context_state_t state = PA_CONTEXT_UNCONNECTED;  // under m

  // Under ml:
  std::map<int, DeviceCallback> listeners;
  int next_token = 1;
  std::set<std::string> known_ids;
  ListingRequest *refresh = nullptr;
  bool refresh_again = false;
  pa_time_event *retry = nullptr;

  ~Impl() {
    if (!ml) return;
    pa_threaded_mainloop_stop(ml);
    // The thread has ended: nothing runs concurrently any more.
    if (retry) pa_threaded_mainloop_get_api(ml)->time_free(retry);
    DropRefresh();
    DropContext();
    pa_threaded_mainloop_free(ml);
  }

  bool InLoopThread() const { return pa_threaded_mainloop_in_thread(ml) != 0; }

  // ---- connection (ml held) -------------------------------------------
  void DropContext() {
    if (!ctx) return;
    pa_context_set_state_callback(ctx, nullptr, nullptr);
    pa_context_set_subscribe_callback(ctx, nullptr, nullptr);
    pa_context_disconnect(ctx);
    pa_context_unref(ctx);
    ctx = nullptr;
  }

  // Starts a connection to the server PULSE_SERVER (or the client
  // configuration) names; false when it failed at once.
  bool StartConnect() {
    DropRefresh();
    DropContext();
    {
      std::lock_guard<std::mutex> l(m);
      state = PA_CONTEXT_CONNECTING;
    }
    ctx = pa_context_new(pa_threaded_mainloop_get_api(ml), "Quavix");
    if (!ctx) return SetState(PA_CONTEXT_FAILED), false;
    pa_context_set_state_callback(ctx, &Impl::OnState, this);
    pa_context_set_subscribe_callback(ctx, &Impl::OnSubscription, this);
    if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      DropContext();
      SetState(PA_CONTEXT_FAILED);
      return false;
    }
    return true;
  }

  void SetState(pa_context_state_t s) {
    {
      std::lock_guard<std::mutex> l(m);
      state = s;
    }
    cv.notify_all();
  }

  static void OnState(pa_context *c, void *userdata) {
    auto *self = static_cast<Impl *>(userdata);
    pa_context_state_t s = pa_context_get_state(c);
    self->SetState(s);
    if (s == PA_CONTEXT_READY) {
      if (!self->listeners.empty()) self->StartWatching();
    } else if (IsDead(s)) {
      self->DropRefresh();
      if (!self->listeners.empty()) {
        // The server went away and every device with it.
        std::set<std::string> gone;
        gone.swap(self->known_ids);
        for (const auto &id : gone) self->Fire({DeviceEvent::kRemoved, id});
        self->ArmRetry();
      }
    }
  }

  // While someone listens, a lost server is tried again every second so
  // that the devices' return is noticed without anyone asking.
  void ArmRetry() {
    if (retry) return;
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(ml);
    timeval tv;
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, 1000 * 1000);
    retry = api->time_new(api, &tv, &Impl::OnRetry, this);
  }
  static void OnRetry(pa_mainloop_api *api, pa_time_event *e, const timeval *, void *userdata) {
    auto *self = static_cast<Impl *>(userdata);
    api->time_free(e);
    self->retry = nullptr;
    if (self->listeners.empty()) return;
    bool dead;
    {
      std::lock_guard<std::mutex> l(self->m);
      dead = IsDead(self->state) || self->state == PA_CONTEXT_UNCONNECTED;
    }
    if (dead && !self->StartConnect()) self->ArmRetry();
  }

  // Connects when needed and waits (bounded) until the connection is ready.
  PulseStatus EnsureConnected(Clock::time_point deadline) {
    pa_threaded_mainloop_lock(ml);
    bool ready = ctx && pa_context_get_state(ctx) == PA_CONTEXT_READY;
    bool connecting = ctx && PA_CONTEXT_IS_GOOD(pa_context_get_state(ctx)) && !ready;
    if (!ready && !connecting && !StartConnect()) {
      pa_threaded_mainloop_unlock(ml);
      return PulseStatus::kNoServer;
    }
    pa_threaded_mainloop_unlock(ml);
    if (ready) return PulseStatus::kOk;

    std::unique_lock<std::mutex> l(m);
    bool settled =
        cv.wait_until(l, deadline, [&] { return state == PA_CONTEXT_READY || IsDead(state); });
    if (settled && state == PA_CONTEXT_READY) return PulseStatus::kOk;
    const bool timed_out = !settled;
    l.unlock();
    // Give up on this attempt; the next call starts afresh.
    pa_threaded_mainloop_lock(ml);
    DropRefresh();
    DropContext();
    pa_threaded_mainloop_unlock(ml);
    SetState(PA_CONTEXT_FAILED);
    return timed_out ? PulseStatus::kTimeout : PulseStatus::kNoServer;
  }

  // Waits until done() or the connection dies or the deadline passes, then
  // cancels what is still running so no callback can touch the caller's
  // state afterwards.
  template <class Done>
  PulseStatus Await(std::vector<pa_operation *> &ops, Clock::time_point deadline, Done done) {
    bool finished;
    bool dead;
    {
      std::unique_lock<std::mutex> l(m);
      finished = cv.wait_until(l, deadline, [&] { return done() || IsDead(state); });
      dead = IsDead(state);
    }
    pa_threaded_mainloop_lock(ml);
    for (pa_operation *op : ops) {
      if (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_operation_cancel(op);
      pa_operation_unref(op);
    }
    ops.clear();
    pa_threaded_mainloop_unlock(ml);
    std::lock_guard<std::mutex> l(m);
    if (done()) return PulseStatus::kOk;
    if (dead) return PulseStatus::kNoServer;
    return finished ? PulseStatus::kFailed : PulseStatus::kTimeout;
  }

  PulseStatus List(ServerListing *out) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
    PulseStatus st = EnsureConnected(deadline);
    if (st != PulseStatus::kOk) return st;
    ListingRequest r;
    bool complete = false;
    r.on_complete = [&](ListingRequest *) {
      {
        std::lock_guard<std::mutex> l(m);
        complete = true;
      }
      cv.notify_all();
    };
    pa_threaded_mainloop_lock(ml);
    bool started = ctx && StartListing(ctx, &r);
    pa_threaded_mainloop_unlock(ml);
    if (!started) return PulseStatus::kNoServer;
    st = Await(r.ops, deadline, [&] { return complete; });
    if (st != PulseStatus::kOk) return st;
    if (r.failed) return PulseStatus::kFailed;
    *out = std::move(r.listing);
    return PulseStatus::kOk;
  }

  // ---- watching (ml held) ---------------------------------------------
  void StartWatching() {
    pa_operation *op = pa_context_subscribe(
        ctx,
        static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_CARD),
        nullptr, nullptr);
    if (op) pa_operation_unref(op);
    StartRefresh();
  }

  static void OnSubscription(pa_context *, pa_subscription_event_type_t t, uint32_t,
                             void *userdata) {
    auto *self = static_cast<Impl *>(userdata);
    const unsigned type = t & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (self->listeners.empty()) return;
    if (type == PA_SUBSCRIPTION_EVENT_NEW || type == PA_SUBSCRIPTION_EVENT_REMOVE)
      self->StartRefresh();
  }

  // Lists the devices again and reports the difference to the last
  // listing. Changes that arrive meanwhile are looked at once it is done.
  void StartRefresh() {
    if (refresh) {
      refresh_again = true;
      return;
    }
    if (!ctx || pa_context_get_state(ctx) != PA_CONTEXT_READY) return;
    auto *r = new ListingRequest;
    r->on_complete = [this](ListingRequest *done) { OnRefreshed(done); };
    if (!StartListing(ctx, r)) {
      delete r;
      return;
    }
    refresh = r;
  }

  void OnRefreshed(ListingRequest *r) {
    refresh = nullptr;
    r->Release(false);
    if (!r->failed && !listeners.empty()) {
      std::set<std::string> now = DeviceIds(r->listing);
      std::vector<DeviceEvent> events;
      for (const auto &id : known_ids)
        if (!now.count(id)) events.push_back({DeviceEvent::kRemoved, id});
      for (const auto &id : now)
        if (!known_ids.count(id)) events.push_back({DeviceEvent::kAdded, id});
      known_ids.swap(now);
      for (const auto &e : events) Fire(e);
    }
    delete r;
    if (refresh_again) {
      refresh_again = false;
      StartRefresh();
    }
  }

  void DropRefresh() {
    if (!refresh) return;
    refresh->Release(true);
    delete refresh;
    refresh = nullptr;
    refresh_again = false;
  }

  void Fire(const DeviceEvent &e) {
    // A callback may remove listeners; iterate over a copy.
    auto copy = listeners;
    for (auto &[token, cb] : copy)
      if (listeners.count(token)) cb(e);
  }
};

namespace {

struct LevelRequest {
  bool done = false;
  bool found = false;
  double level = 0.0;
};

}  // namespace

PulseClient::PulseClient(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PulseClient::~PulseClient() = default;

std::shared_ptr<PulseClient> PulseClient::Shared() {
  static std::mutex lock;
  static std::weak_ptr<PulseClient> shared;
  std::lock_guard<std::mutex> l(lock);
  if (auto p = shared.lock()) return p;
  auto impl = std::make_unique<Impl>();
  impl->ml = pa_threaded_mainloop_new();
  if (!impl->ml) return nullptr;
  pa_threaded_mainloop_set_name(impl->ml, "quavix-pulse");
  if (pa_threaded_mainloop_start(impl->ml) < 0) {
    pa_threaded_mainloop_free(impl->ml);
    impl->ml = nullptr;
    return nullptr;
  }
  std::shared_ptr<PulseClient> p(new PulseClient(std::move(impl)));
  shared = p;
  return p;
}

PulseStatus PulseClient::ListDevices(std::vector<CaptureDevice> *devices) {
  devices->clear();
  if (impl_->InLoopThread()) return PulseStatus::kWrongThread;
  std::lock_guard<std::mutex> call(impl_->call);
  ServerListing listing;
  PulseStatus st = impl_->List(&listing);
  if (st == PulseStatus::kOk) *devices = GroupCaptureDevices(listing);
  return st;
}

PulseStatus PulseClient::GetLevel(const std::string &source, double *level) {
  if (impl_->InLoopThread()) return PulseStatus::kWrongThread;
  std::lock_guard<std::mutex> call(impl_->call);
  Impl &d = *impl_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
  PulseStatus st = d.EnsureConnected(deadline);
  if (st != PulseStatus::kOk) return st;

  struct Req {
    Impl *impl;
    LevelRequest r;
  } req{&d, {}};
  std::vector<pa_operation *> ops;
  pa_threaded_mainloop_lock(d.ml);
  if (d.ctx) {
    if (pa_operation *op = pa_context_get_source_info_by_name(
            d.ctx, source.c_str(),
            [](pa_context *, const pa_source_info *i, int eol, void *userdata) {
              auto *q = static_cast<Req *>(userdata);
              {
                std::lock_guard<std::mutex> l(q->impl->m);
                if (eol == 0 && i) {
                  q->r.found = true;
                  q->r.level = static_cast<double>(pa_cvolume_avg(&i->volume)) / PA_VOLUME_NORM;
                  return;
                }
                q->r.done = true;
              }
              q->impl->cv.notify_all();
            },
            &req))
      ops.push_back(op);
  }
  pa_threaded_mainloop_unlock(d.ml);
  if (ops.empty()) return PulseStatus::kNoServer;
  st = d.Await(ops, deadline, [&] { return req.r.done; });
  if (st != PulseStatus::kOk) return st;
  if (!req.r.found) return PulseStatus::kNotFound;
  *level = std::clamp(req.r.level, 0.0, 1.0);
  return PulseStatus::kOk;
}

PulseStatus PulseClient::SetLevel(const std::string &source, double level) {
  if (!(level >= 0.0 && level <= 1.0)) return PulseStatus::kInvalidArgument;  // NaN too
  if (impl_->InLoopThread()) return PulseStatus::kWrongThread;
  std::lock_guard<std::mutex> call(impl_->call);
  Impl &d = *impl_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
  PulseStatus st = d.EnsureConnected(deadline);
  if (st != PulseStatus::kOk) return st;

  // The channel count comes from the source itself; the request then sets
  // them all in one step, so no channel is left at its old volume.
  struct Req {
    Impl *impl;
    pa_volume_t volume;
    bool done = false;
    bool found = false;
    bool ok = false;
    pa_operation *set_op = nullptr;
  } req{&d, static_cast<pa_volume_t>(std::llround(level * PA_VOLUME_NORM))};

  std::vector<pa_operation *> ops;
  pa_threaded_mainloop_lock(d.ml);
  if (d.ctx) {
    if (pa_operation *op = pa_context_get_source_info_by_name(
            d.ctx, source.c_str(),
            [](pa_context *c, const pa_source_info *i, int eol, void *userdata) {
              auto *q = static_cast<Req *>(userdata);
              if (eol == 0 && i) {
                if (q->set_op) return;  // one source per name; be safe anyway
                pa_cvolume cv;
                pa_cvolume_set(&cv, i->volume.channels, q->volume);
                {
                  std::lock_guard<std::mutex> l(q->impl->m);
                  q->found = true;
                }
                q->set_op = pa_context_set_source_volume_by_index(
                    c, i->index, &cv,
                    [](pa_context *, int success, void *userdata2) {
                      auto *q2 = static_cast<Req *>(userdata2);
                      {
                        std::lock_guard<std::mutex> l(q2->impl->m);
                        q2->ok = success != 0;
                        q2->done = true;
                      }
                      q2->impl->cv.notify_all();
                    },
                    q);
                if (!q->set_op) {
                  {
                    std::lock_guard<std::mutex> l(q->impl->m);
                    q->done = true;
                  }
                  q->impl->cv.notify_all();
                }
                return;
              }
              if (eol != 0 && !q->set_op) {
                {
                  std::lock_guard<std::mutex> l(q->impl->m);
                  q->done = true;
                }
                q->impl->cv.notify_all();
              }
            },
            &req))
      ops.push_back(op);
  }
  pa_threaded_mainloop_unlock(d.ml);
  if (ops.empty()) return PulseStatus::kNoServer;

  // The second request is created on the loop thread; include it in the
  // clean-up so it cannot outlive req.
  bool finished;
  {
    std::unique_lock<std::mutex> l(d.m);
    finished = d.cv.wait_until(l, deadline, [&] { return req.done || IsDead(d.state); });
  }
  pa_threaded_mainloop_lock(d.ml);
  if (req.set_op) ops.push_back(req.set_op);
  pa_threaded_mainloop_unlock(d.ml);
  (void)finished;
  st = d.Await(ops, deadline, [&] { return req.done; });
  if (st != PulseStatus::kOk) return st;
  if (!req.found) return PulseStatus::kNotFound;
  return req.ok ? PulseStatus::kOk : PulseStatus::kFailed;
}

int PulseClient::AddDeviceListener(DeviceCallback callback) {
  if (!callback || impl_->InLoopThread()) return 0;
  std::lock_guard<std::mutex> call(impl_->call);
  Impl &d = *impl_;
  ServerListing listing;
  const bool reached = d.List(&listing) == PulseStatus::kOk;
  pa_threaded_mainloop_lock(d.ml);
  const bool first = d.listeners.empty();
  int token = d.next_token++;
  d.listeners.emplace(token, std::move(callback));
  if (first && !reached) {
    // Nothing is known while the server is away, so every device it shows
    // once it is back is reported as added; the retry finds it.
    d.known_ids.clear();
    d.ArmRetry();
  } else if (first) {
    d.known_ids = DeviceIds(listing);
    if (d.ctx && pa_context_get_state(d.ctx) == PA_CONTEXT_READY) {
      pa_operation *op = pa_context_subscribe(
          d.ctx,
          static_cast<pa_subscription_mask_t>(
              PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_CARD),
          nullptr, nullptr);
      if (op) pa_operation_unref(op);
    }
  }
  pa_threaded_mainloop_unlock(d.ml);
  return token;
}

void PulseClient::RemoveDeviceListener(int token) {
  if (token == 0) return;
  // The main loop's lock is recursive, so this also works from a callback.
  pa_threaded_mainloop_lock(impl_->ml);
  impl_->listeners.erase(token);
  pa_threaded_mainloop_unlock(impl_->ml);
}

}  // namespace quavix::pulse
