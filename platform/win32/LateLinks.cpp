#include "platform/win32/LateLinks.h"

#include <mmsystem.h>
#include <oleacc.h>

#include <string>

namespace zorvex::win32::late {

HMODULE SystemLibrary(const wchar_t* name) {
  if (HMODULE loaded = ::GetModuleHandleW(name)) return loaded;
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(folder, length);
  path += L'\\';
  path += name;
  return ::LoadLibraryW(path.c_str());
}

namespace {

// Each function is looked up once, on its first call (a static's initialisation is thread-safe).
#define ZORVEX_LATE(library, name) \
  static const auto fn = SystemFunction<decltype(&::name)>(library, #name)

}  // namespace

HRESULT CoInitializeEx(void* reserved, DWORD apartment) {
  ZORVEX_LATE(L"ole32.dll", CoInitializeEx);
  return fn != nullptr ? fn(reserved, apartment) : E_FAIL;
}

void CoUninitialize() {
  ZORVEX_LATE(L"ole32.dll", CoUninitialize);
  if (fn != nullptr) fn();
}

HRESULT AccessibleChildren(IAccessible* container, LONG start, LONG count, VARIANT* children, LONG* obtained) {
  ZORVEX_LATE(L"oleacc.dll", AccessibleChildren);
  return fn != nullptr ? fn(container, start, count, children, obtained) : E_FAIL;
}

HRESULT ObjectFromLresult(LRESULT result, REFIID iid, WPARAM wParam, void** object) {
  ZORVEX_LATE(L"oleacc.dll", ObjectFromLresult);
  return fn != nullptr ? fn(result, iid, wParam, object) : E_FAIL;
}

void VariantInit(VARIANT* v) {
  // What the library's own does; no reason to load it for this.
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  // An empty one holds nothing to free, and a program that never read a strip never loads the library.
  if (v->vt == VT_EMPTY) return S_OK;
  ZORVEX_LATE(L"oleaut32.dll", VariantClear);
  return fn != nullptr ? fn(v) : E_FAIL;
}

void SysFreeString(BSTR text) {
  if (text == nullptr) return;
  ZORVEX_LATE(L"oleaut32.dll", SysFreeString);
  if (fn != nullptr) fn(text);
}

BOOL PlaySoundW(const wchar_t* sound, HMODULE module, DWORD flags) {
  ZORVEX_LATE(L"winmm.dll", PlaySoundW);
  return fn != nullptr && fn(sound, module, flags);
}

}  // namespace zorvex::win32::late
