#include "update/rollback/service_notify.h"

#include <windows.h>

#include <cstdint>

#include "update/frame/module_loader.h"
#include "update/frame/scoped_handles.h"

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
  if (open(kOptionsChangedTopic, &handle, &function, &value) != 1) return;
  if (function) reinterpret_cast<NotifyFn>(function)(&value);
  auto close = GetOrdinal<CloseNotificationFn>(library, kCloseNotificationOrdinal);
  if (close) close(handle, &value);
}

void NotifyThroughEvents() {
  ScopedHandle readEvent(::OpenEventA(kEventAllAccess, FALSE, kServiceReadEventName));
  if (!readEvent) return;
  ScopedHandle writeEvent(::OpenEventA(kEventAllAccess, FALSE, kServiceWriteEventName));
  if (!writeEvent) return;
  if (::WaitForSingleObject(writeEvent.get(), INFINITE) != WAIT_OBJECT_0) return;
  ::ResetEvent(writeEvent.get());
  ::SetEvent(readEvent.get());
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
