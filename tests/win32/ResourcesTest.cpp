// The program's resources, linked into this test program as into zorvex.exe, loaded the way
// the program loads them.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/Handles.h"
#include "resources/resource.h"

namespace zorvex {
namespace {

struct DeleteObjectCloser {
  void operator()(HBITMAP h) const { ::DeleteObject(h); }
};
using UniqueBitmap = win32::UniqueHandle<HBITMAP, DeleteObjectCloser>;

struct Rgba {
  int r, g, b, a;
};

HMODULE Self() { return GetModuleHandleA(nullptr); }

win32::UniqueIcon LoadIconAt(int id, int size) {
  return win32::UniqueIcon(static_cast<HICON>(
      LoadImageA(Self(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

// The icon's colour plane as the system holds it, top row first; empty when unreadable.
std::vector<Rgba> PixelsOf(HICON icon, int size) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {};
  UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
  BITMAP bm{};
  if (!color || !GetObjectA(color.get(), sizeof bm, &bm) || bm.bmWidth != size || bm.bmHeight != size) return {};
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = -size;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> raw(static_cast<size_t>(size) * size);
  HDC dc = GetDC(nullptr);
  const int rows = GetDIBits(dc, color.get(), 0, size, raw.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  if (rows != size) return {};
  std::vector<Rgba> out;
  for (uint32_t p : raw) out.push_back({int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255), int(p >> 24)});
  return out;
}

// Pixels where two pictures differ plainly, in colour or in coverage.
int PlainDifferences(const std::vector<Rgba>& x, const std::vector<Rgba>& y) {
  int n = 0;
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
    const int d = std::max({std::abs(x[i].r - y[i].r), std::abs(x[i].g - y[i].g), std::abs(x[i].b - y[i].b),
                            std::abs(x[i].a - y[i].a)});
    if (d > 64) ++n;
  }
  return n;
}

std::string ResourceBytes(LPCWSTR name, LPCWSTR type) {
  HRSRC found = FindResourceW(Self(), name, type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(Self(), found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  return data ? std::string(static_cast<const char*>(data), SizeofResource(Self(), found)) : std::string();
}

// Sizes and bit depths listed in an icon group: what LoadImage can choose from without scaling.
std::vector<std::pair<int, int>> GroupEntries(int id) {
  const std::string group = ResourceBytes(MAKEINTRESOURCEW(id), RT_GROUP_ICON);
  std::vector<std::pair<int, int>> out;
  if (group.size() < 6) return out;
  uint16_t count;
  std::memcpy(&count, group.data() + 4, 2);
  for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
    const char* e = group.data() + 6 + 14 * i;
    uint16_t bits;
    std::memcpy(&bits, e + 6, 2);
    out.push_back({static_cast<unsigned char>(e[0]), bits});
  }
  return out;
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) {
  *reinterpret_cast<LPWSTR*>(out) = name;
  return FALSE;
}

const int kAllIcons[] = {IDI_APP,           IDI_TRAY_ON,      IDI_TRAY_OFF,      IDI_TRAY_KILL,
                         IDI_MENU_EXIT,     IDI_MENU_OPTIONS, IDI_MENU_ADD_RULE, IDI_MENU_ACTIVE,
                         IDI_MENU_CLOSE_MENU, IDI_MENU_LANGUAGE};

TEST(Resources, IconsLoadAt16WithTheirAlphaInEverySizeAndTheAppIconComesFirst) {
  // Small icons at 100, 125, 150 and 200 percent, large ones at 125, 150 and 200.
  const std::vector<std::pair<int, int>> sizes{{16, 32}, {20, 32}, {24, 32}, {32, 32}, {40, 32}, {48, 32}, {64, 32}};
  for (int id : kAllIcons) {
    SCOPED_TRACE(id);
    win32::UniqueIcon icon = LoadIconAt(id, 16);
    ASSERT_TRUE(icon);
    const std::vector<Rgba> px = PixelsOf(icon.get(), 16);
    ASSERT_EQ(px.size(), 256u);
    int clear = 0, solid = 0, edge = 0;
    for (const Rgba& p : px) (p.a == 0 ? clear : p.a == 255 ? solid : edge)++;
    // Round or irregular shapes: see-through corners, an opaque body, smoothed edges.
    EXPECT_GT(clear, 10);
    EXPECT_GT(solid, 60);
    EXPECT_GT(edge, 4);
    if (id != IDI_APP) {
      EXPECT_EQ(GroupEntries(id), sizes);
    }
  }
  std::vector<std::pair<int, int>> appSizes = sizes;
  appSizes.insert(appSizes.end(), {{128, 32}, {0, 32}});  // 0 stands for 256
  EXPECT_EQ(GroupEntries(IDI_APP), appSizes);
  win32::UniqueIcon big = LoadIconAt(IDI_APP, 32);
  ASSERT_TRUE(big);
  EXPECT_EQ(PixelsOf(big.get(), 32).size(), 32u * 32u);

  LPWSTR first = nullptr;
  EnumResourceNamesW(Self(), RT_GROUP_ICON, TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
  ASSERT_TRUE(IS_INTRESOURCE(first));
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(first), static_cast<ULONG_PTR>(IDI_APP));
}

TEST(Resources, EveryPictureDiffersAndTheTrayStatesReadAtAGlance) {
  std::vector<std::vector<Rgba>> pictures;
  for (int id : kAllIcons) {
    win32::UniqueIcon icon = LoadIconAt(id, 16);
    ASSERT_TRUE(icon);
    pictures.push_back(PixelsOf(icon.get(), 16));
  }
  for (size_t i = 0; i < pictures.size(); ++i)
    for (size_t j = i + 1; j < pictures.size(); ++j) {
      // The app icon's 16 px image is the "on" tray icon; all others must be told apart.
      if (kAllIcons[i] == IDI_APP && kAllIcons[j] == IDI_TRAY_ON) continue;
      EXPECT_GT(PlainDifferences(pictures[i], pictures[j]), 20) << kAllIcons[i] << " vs " << kAllIcons[j];
    }

  auto count = [](const std::vector<Rgba>& px, auto pred) {
    int n = 0;
    for (const Rgba& p : px) n += p.a > 128 && pred(p);
    return n;
  };
  const auto& on = pictures[1];
  const auto& off = pictures[2];
  const auto& kill = pictures[3];
  EXPECT_GT(count(on, [](const Rgba& p) { return p.r > 180 && p.g < 100 && p.b < 100; }), 30);  // red sign
  EXPECT_EQ(count(off, [](const Rgba& p) { return p.r != p.g || p.g != p.b; }), 0);             // grey only
  EXPECT_GT(count(kill, [](const Rgba& p) { return p.r > 200 && p.g > 150 && p.b < 100; }), 30);  // yellow
}

// A chunk of a RIFF file, found by its id; empty when missing or cut off.
std::string RiffChunk(const std::string& riff, const char* id) {
  for (size_t at = 12; at + 8 <= riff.size();) {
    uint32_t size;
    std::memcpy(&size, riff.data() + at + 4, 4);
    if (size > riff.size() - at - 8) return {};
    if (riff.compare(at, 4, id) == 0) return riff.substr(at + 8, size);
    at += 8 + size + (size & 1);
  }
  return {};
}

TEST(Resources, AlarmIsAboutASecondOfQuietMonoPcmWithoutClicks) {
  const std::string wav = ResourceBytes(L"" ZORVEX_ALARM_NAME, L"" ZORVEX_ALARM_TYPE);
  ASSERT_GE(wav.size(), 44u);
  ASSERT_EQ(wav.compare(0, 4, "RIFF"), 0);
  ASSERT_EQ(wav.compare(8, 4, "WAVE"), 0);
  uint32_t riffSize;
  std::memcpy(&riffSize, wav.data() + 4, 4);
  EXPECT_EQ(riffSize + 8, wav.size());

  const std::string fmt = RiffChunk(wav, "fmt ");
  ASSERT_GE(fmt.size(), 16u);
  PCMWAVEFORMAT f;
  std::memcpy(&f, fmt.data(), sizeof f);
  EXPECT_EQ(f.wf.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.wf.nChannels, 1);
  EXPECT_EQ(f.wf.nSamplesPerSec, 11025u);
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.wf.nBlockAlign, 2);
  EXPECT_EQ(f.wf.nAvgBytesPerSec, 22050u);

  const std::string data = RiffChunk(wav, "data");
  const double seconds = data.size() / 22050.0;
  EXPECT_GE(seconds, 0.8);
  EXPECT_LE(seconds, 1.5);
  std::vector<int16_t> s(data.size() / 2);
  ASSERT_FALSE(s.empty());
  std::memcpy(s.data(), data.data(), s.size() * 2);
  int peak = 0;
  for (int16_t v : s) peak = std::max(peak, std::abs(int(v)));
  const double dbfs = 20 * std::log10(peak / 32768.0);
  EXPECT_GT(dbfs, -8.0);
  EXPECT_LT(dbfs, -4.0);
  // Starts and ends at silence, so neither edge clicks.
  EXPECT_LT(std::abs(int(s.front())), 330);
  EXPECT_LT(std::abs(int(s.back())), 330);
  int tail = 0;
  for (size_t i = s.size() - 100; i < s.size(); ++i) tail = std::max(tail, std::abs(int(s[i])));
  EXPECT_LT(tail, peak / 20);
}

// The flags the engine passes for the built-in sound.
static_assert((SND_RESOURCE | SND_ASYNC) == 0x40005, "resource plus asynchronous");

TEST(Resources, AlarmPlaysFromTheModuleWithoutNeedingASoundDevice) {
  // Without an audio device the platform may not play it; the call must still return at once.
  const DWORD start = GetTickCount();
  EXPECT_TRUE(PlaySoundA(ZORVEX_ALARM_NAME, Self(), SND_RESOURCE | SND_ASYNC));
  EXPECT_LT(GetTickCount() - start, 500u);
  PlaySoundA(nullptr, nullptr, 0);
  if (waveOutGetNumDevs() > 0) {
    // With a device, a blocking play proves the platform decodes the wave.
    EXPECT_TRUE(PlaySoundA(ZORVEX_ALARM_NAME, Self(), SND_RESOURCE | SND_NODEFAULT));
  }
}

TEST(Resources, VersionInfoAndManifestAreWhatThePlatformReads) {
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, DWORD(ZORVEX_VERSION_MAJOR << 16 | ZORVEX_VERSION_MINOR));
  EXPECT_EQ(fixed->dwFileVersionLS, DWORD(ZORVEX_VERSION_PATCH << 16));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

  // Readers take the language and code page from the translation table.
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len));
  ASSERT_GE(len, 4u);
  char prefix[64];
  wsprintfA(prefix, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
  auto text = [&](const char* key) {
    char* value = nullptr;
    UINT n = 0;
    const std::string query = std::string(prefix) + key;
    return VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &n) && value
               ? std::string(value)
               : std::string("<missing>");
  };
  EXPECT_EQ(text("ProductName"), "Zorvex");
  EXPECT_EQ(text("FileDescription"), "Zorvex popup killer");
  EXPECT_EQ(text("CompanyName"), "The Zorvex developers");
  const std::string version = std::to_string(ZORVEX_VERSION_MAJOR) + "." + std::to_string(ZORVEX_VERSION_MINOR) +
                              "." + std::to_string(ZORVEX_VERSION_PATCH);
  EXPECT_EQ(text("ProductVersion"), version);
  EXPECT_EQ(text("FileVersion"), version);

  const std::string manifest = ResourceBytes(CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  // Per-monitor aware, drawn for the density rather than stretched by the system.
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor<"), std::string::npos);
  EXPECT_NE(manifest.find(">true/pm<"), std::string::npos);
  EXPECT_EQ(manifest.find("gdiScaling"), std::string::npos);
  // The loader accepted the manifest: this process gets the side-by-side common controls 6,
  // not the system folder's version 5 (whose DllGetVersion Wine's copy imitates).
  HMODULE comctl = LoadLibraryA("comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  char loaded[MAX_PATH] = {};
  GetModuleFileNameA(comctl, loaded, MAX_PATH);
  FreeLibrary(comctl);
  std::string lower = loaded;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(lower.find("microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos) << loaded;
}

}  // namespace
}  // namespace zorvex
