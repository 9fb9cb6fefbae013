// The floor of the scanner's idle cost: every 500 ms, a walk over the top-level windows that reads
// each class name and does nothing else. bench/idle-cost.sh measures it beside zorvex.exe.
#include <windows.h>

#include <cstdlib>

namespace {

BOOL CALLBACK ReadClass(HWND window, LPARAM count) {
  char name[256];
  ::GetClassNameA(window, name, sizeof name);
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 60;
  const DWORD end = ::GetTickCount() + seconds * 1000;
  int windows = 0;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    ::EnumWindows(ReadClass, reinterpret_cast<LPARAM>(&windows));
    ::Sleep(500);
  }
  return windows > 0 ? 0 : 1;
}
