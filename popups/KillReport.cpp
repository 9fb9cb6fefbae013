#include "popups/KillReport.h"

namespace zorvex {

std::string KillLogLine(const KillReport& report) {
  const std::string window = report.address ? *report.address + " => " + report.title : report.title;
  return (report.kind == KillKind::WindowClosed ? "Window Closed: " : "Popup Killed: ") + window + " (" + report.reason + ")";
}

std::string WindowStayedLine(const KillReport& report) {
  return "Window Left Open: " + report.title + " (" + report.reason + "), it stayed open after the close command";
}

void LogKill(IKillHost& host, const KillReport& report) {
  host.WriteLog(KillLogLine(report));
  if (report.hit) host.RuleFitted(*report.hit);
}

}  // namespace zorvex
