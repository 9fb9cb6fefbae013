#include <gtest/gtest.h>

#include "tests/fakes/FakeDesktop.h"
#include "popups/ClassEnum.h"

using namespace zorvex;
using zorvex::fake::FakeDesktop;
using zorvex::fake::WindowRecord;

namespace {

std::vector<std::string> List(FakeDesktop& desktop, BrowserFamilies families) {
  std::vector<std::string> list{"kept"};
  TEnum lister(desktop, [&] { return DetectionOptions{families}; });
  lister.ListWindows(list);
  list.erase(list.begin());
  return list;
}

}  // namespace

TEST(Lister, ClassesAreListedOnlyForTheirFamilyAndOperaNeedsItsOption) {
  struct Case {
    const char* cls;
    const char* title;
    char family;  // 'o' Opera, 'e' Explorer, 'n' Netscape, '-' never
  };
  const Case cases[] = {
      {"BrowserWindowMDI", "Page", 'o'}, {"OUIWINDOW", "Page", 'o'},     {"OpWindow", "Page", 'o'},
      {"IEFrame", "Some Page - Browser", 'e'}, {"MSN6 Window", "Page", 'e'}, {"AfxFrameOrView42s", "Page", 'e'},
      {"CabinetWClass", "Page", 'e'},    {"ubc_00001", "Page", 'e'},      {"ubcpopup_00001", "Page", 'e'},
      {"AOL Child", "Page", 'e'},        {"TfrmPage", "Page", 'e'},       {"#32770", "NeoPlanet Page", 'e'},
      {"#32770", "Page", '-'},           {"Afx:1:2", "Netscape Page", 'n'}, {"Afx:1:2", "Page", '-'},
      {"MozillaWindowClass", "Page", 'n'}, {"iefraME", "Page", '-'},
  };
  for (const Case& c : cases) {
    for (int bits = 0; bits < 8; ++bits) {
      const BrowserFamilies f{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
      FakeDesktop desktop;
      desktop.Add(c.cls, c.title);
      const bool listed = (c.family == 'o' && f.opera) || (c.family == 'e' && f.explorer) ||
                          (c.family == 'n' && f.netscape);
      EXPECT_EQ(List(desktop, f), listed ? std::vector<std::string>{c.title} : std::vector<std::string>{})
          << c.cls << " opera=" << f.opera << " netscape=" << f.netscape << " explorer=" << f.explorer;
    }
  }
}

TEST(Lister, TitleFilterOrderDuplicatesAndCase) {
  FakeDesktop desktop;
  for (const char* title : {"MTDBOpSink", "", "Download Window", "A Window on the Window", "Same Title",
                            "Same Title", "  MiXeD case \xC9 ", " Window", "Window"}) {
    desktop.Add("IEFrame", title);
  }
  EXPECT_EQ(List(desktop, {false, false, true}),
            (std::vector<std::string>{"A Window on the Window", "Same Title", "Same Title", "  MiXeD case \xC9 ",
                                      "Window"}));
}

TEST(Lister, ContainersAreSearchedByTheirOwnRules) {
  FakeDesktop desktop;
  const WindowHandle aol = desktop.Add("AOL Frame25", "AOL");
  const WindowHandle inner = desktop.AddChild(aol, WindowRecord{"_AOL_Static", "static"});
  desktop.AddChild(inner, WindowRecord{"AOL Child", "AOL Page"});
  const WindowHandle opera = desktop.Add("Opera Main Window", "Opera");
  const WindowHandle op = desktop.AddChild(opera, WindowRecord{"OpWindow", "Op Page"});
  desktop.AddChild(op, WindowRecord{"BrowserWindowMDI", "Nested Page"});
  const WindowHandle avant = desktop.Add("TfrmAvantBrowser", "Avant");
  desktop.AddChild(avant, WindowRecord{"TfrmPage", "Avant Page"});
  desktop.Add("IEFrame", "Last");

  EXPECT_TRUE(List(desktop, {false, false, false}).empty()) << "AOL containers are searched, yet nothing counts";
  // The AOL page is a descendant of both AOL containers, and the nested page is reached from the
  // main window and again from its OpWindow: each is listed once all the same.
  EXPECT_EQ(List(desktop, {false, false, true}), (std::vector<std::string>{"AOL Page", "Avant Page", "Last"}));
  EXPECT_EQ(List(desktop, {true, false, false}), (std::vector<std::string>{"Op Page", "Nested Page"}));
}
