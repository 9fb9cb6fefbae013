// Every in-memory stand-in a test of the engine or the closer needs, made together, and the
// service bundles built from them.
#pragma once

#include <memory>
#include <string>

#include "engine/ClassKiller.h"
#include "tests/fakes/FakeDde.h"
#include "tests/fakes/FakeDesktop.h"
#include "tests/fakes/FakeSystem.h"

namespace zorvex::fake {

struct FakePlatform {
  std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
  // Made on the thread that makes this object, which is then the "main thread".
  std::shared_ptr<FakeMainThread> mainThread = std::make_shared<FakeMainThread>();
  std::shared_ptr<FakeSleeper> sleeper = std::make_shared<FakeSleeper>();
  std::shared_ptr<FakeWindowEvents> events = std::make_shared<FakeWindowEvents>();
  std::shared_ptr<FakeDdeMonitor> monitor = std::make_shared<FakeDdeMonitor>();
  std::shared_ptr<FakeDdePeer> peer = std::make_shared<FakeDdePeer>();
  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
  std::shared_ptr<FakePump> pump = MakePump(clock);
  std::shared_ptr<FakeSound> sound = std::make_shared<FakeSound>();
  std::shared_ptr<FakeStartupRegistry> registry = std::make_shared<FakeStartupRegistry>();
  std::shared_ptr<FakeLocalTime> localTime = std::make_shared<FakeLocalTime>();

  static std::shared_ptr<FakePump> MakePump(std::shared_ptr<FakeClock> clock) {
    auto pump = std::make_shared<FakePump>();
    pump->clock = std::move(clock);
    return pump;
  }

  // A closer's services over these fakes.
  CloserServices Closer(IKillHost* host = nullptr, std::shared_ptr<ScannerTracker> tracker = nullptr) const {
    return CloserServices{ScannerServices{desktop, mainThread, sleeper, host, nullptr}, monitor, peer, clock, pump,
                          std::move(tracker), events};
  }
  // An engine's services over these fakes, its files in folder (with its trailing separator).
  EngineServices Engine(const std::string& folder) const {
    EngineServices services;
    services.folder = folder;
    services.programPath = folder + "zorvex.exe";
    services.closer = Closer();
    services.sound = sound;
    services.startup = registry;
    services.localTime = localTime;
    // Waiting for a held file lets the time pass on the fake clock.
    services.pause = [clock = clock](std::chrono::milliseconds span) { clock->Advance(span); };
    return services;
  }
};

}  // namespace zorvex::fake
