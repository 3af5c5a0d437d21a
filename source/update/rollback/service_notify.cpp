#include "update/rollback/service_notify.h"

#include <windows.h>

#include <cstdint>

#include "update/frame/module_loader.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

constexpr WORD kUseNotificationLibraryOrdinal = 1;
constexpr WORD kOpenNotificationOrdinal = 4;
constexpr WORD kCloseNotificationOrdinal = 6;
constexpr char kOptionsChangedTopic[] = "OPSOptionsChanged";
constexpr DWORD kEventAllAccess = 0x1F0003;

using UseNotificationLibraryFn = uint8_t (*)();
using OpenNotificationFn = uint8_t (*)(const char* topic, void** handle, void** function, void** value);
using NotifyFn = void (*)(void** value);
using CloseNotificationFn = void (*)(void* handle, void** value);

void NotifyThroughLibrary(HMODULE library) {
  auto open = GetOrdinal<OpenNotificationFn>(library, kOpenNotificationOrdinal);
  if (!open) return;
  void* handle = nullptr;
  void* function = nullptr;
  void* value = nullptr;
  if (open(kOptionsChangedTopic, &handle, &function, &value) != 1) {
    TraceStep("notify-service").Text("through", "ntfhub.dll").Failed("topic not opened");
    return;
  }
  if (function) reinterpret_cast<NotifyFn>(function)(&value);
  TraceStep("notify-service").Text("through", "ntfhub.dll").Outcome("ok");
  auto close = GetOrdinal<CloseNotificationFn>(library, kCloseNotificationOrdinal);
  if (close) close(handle, &value);
}

void NotifyThroughEvents() {
  ScopedHandle readEvent(::OpenEventA(kEventAllAccess, FALSE, kServiceReadEventName));
  if (!TraceStep("open-event").Text("name", kServiceReadEventName).Win32(readEvent.valid())) return;
  ScopedHandle writeEvent(::OpenEventA(kEventAllAccess, FALSE, kServiceWriteEventName));
  if (!TraceStep("open-event").Text("name", kServiceWriteEventName).Win32(writeEvent.valid())) return;
  TraceStep("wait-service").Text("name", kServiceWriteEventName).Outcome("started");
  if (::WaitForSingleObject(writeEvent.get(), INFINITE) != WAIT_OBJECT_0) return;
  ::ResetEvent(writeEvent.get());
  const BOOL signalled = ::SetEvent(readEvent.get());
  TraceStep("notify-service").Text("through", "events").Win32(signalled);
}

}  // namespace

void NotifyServiceOfRollback() {
  // An absent library counts as one that asks for the events.
  ScopedModule library = LoadProductComponent(L"ntfhub.dll");
  auto useLibrary = GetOrdinal<UseNotificationLibraryFn>(library.get(), kUseNotificationLibraryOrdinal);
  if (useLibrary && useLibrary() != 0) {
    NotifyThroughLibrary(library.get());
    return;
  }
  NotifyThroughEvents();
}

}  // namespace mivra
