// The system calls of the libraries that only some work needs: COM and accessibility for reading
// tab strips, the sound library for the alarm. Linked at load time, these libraries and what they
// pull in cost every running copy about a megabyte of private memory although most never read a
// tab strip or play a sound; here each is loaded on its first call and kept from then on.
// A library that cannot be loaded makes its calls fail as the call itself would.
#pragma once

#include <windows.h>

#include <oleauto.h>

struct IAccessible;

namespace zorvex::win32::late {

// A library of the system, loaded from the system folder alone: one of the same name planted
// beside the program or in the current folder is never taken. Null when it cannot be loaded.
HMODULE SystemLibrary(const wchar_t* name);

// The function name of a system library, typed; null when either is missing. The library stays
// loaded for the life of the process: the functions are kept, and COM must not be unloaded under
// its apartments.
template <typename Fn>
Fn SystemFunction(const wchar_t* library, const char* name) {
  const HMODULE module = SystemLibrary(library);
  return module != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

HRESULT CoInitializeEx(void* reserved, DWORD apartment);
void CoUninitialize();
HRESULT AccessibleChildren(IAccessible* container, LONG start, LONG count, VARIANT* children, LONG* obtained);
HRESULT ObjectFromLresult(LRESULT result, REFIID iid, WPARAM wParam, void** object);
void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);
void SysFreeString(BSTR text);
BOOL PlaySoundW(const wchar_t* sound, HMODULE module, DWORD flags);

}  // namespace zorvex::win32::late
