// The process the crash tests end on the spot: it walks one road with the platform table ending
// the process at call N, or counts the road's calls when N is 0.
//   crash_road_child ROAD N INSTALL_DIR (without its closing backslash)
// Exit code: the number of calls when counting (3 when the road failed); the crash code when
// ended; 0 when the road finished before call N; 2 for wrong arguments.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "support/every_call_fault.h"
#include "crash/crash_roads.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  const std::wstring wideName = argv[1];
  const crash_roads::Road* road = crash_roads::FindRoad(std::string(wideName.begin(), wideName.end()));
  if (!road) return 2;
  const uint32_t n = static_cast<uint32_t>(std::wcstoul(argv[2], nullptr, 10));
  crash_roads::RoadContext context{std::wstring(argv[3]) + L"\\"};
  mivra_test::EveryCallFault fault(n == 0 ? mivra_test::FaultMode::kCount : mivra_test::FaultMode::kCrash, n);
  const crash_roads::RoadRun run = crash_roads::RunRoad(*road, context);
  // Counting a road that does not go through would count the wrong road.
  if (n == 0) return run.failed ? 3 : static_cast<int>(fault.calls());
  return 0;
}
