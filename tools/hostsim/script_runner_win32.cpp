#include "script_runner_win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "window_tools_win32.h"

namespace tallymark::hostsim {

namespace {

const char kCounterCaption[] = "COUNTER";
const char kConfirmCaption[] = "Confirm?";
const char kNoticeCaption[] = "ConfigDialog";

// Expectations are met within this time or fail: a count shows in the DROs on the tick
// after the run ends and in the labels on the tick after that.
constexpr int kSettleMs = 3000;
constexpr int kWindowWaitMs = 5000;

struct UiGone {};

// Runs `fn` on the user-interface thread; throws UiGone when the frame has closed.
void onUi(Host& h, const std::function<void()>& fn) {
  if (!runOnUi(h, fn)) throw UiGone{};
}

// Polls `condition` every 50 ms until it holds or `ms` have passed.
bool waitFor(int ms, const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    Sleep(50);
  }
}

HWND waitForWindow(const char* caption, int ms) {
  HWND found = nullptr;
  waitFor(ms, [&] { return (found = findOwnWindow(caption, true)) != nullptr; });
  return found;
}

HWND findButton(HWND window, const std::string& text) {
  for (const ChildControl& c : listControls(window))
    if (c.info.text == text && _stricmp(c.info.className.c_str(), "Button") == 0) return c.hwnd;
  return nullptr;
}

std::string number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", v);
  return text;
}

}  // namespace

ScriptRunner::~ScriptRunner() {
  if (thread_.joinable()) thread_.detach();  // the process is ending; see main
}

void ScriptRunner::start() {
  thread_ = std::thread([this] { run(); });
}

void ScriptRunner::run() {
  try {
    for (const Step& step : script_.steps) {
      currentLine_ = step.line;
      if (step.kind == StepKind::Quit) break;
      std::string error = runStep(step);
      if (!error.empty()) {
        std::fprintf(stderr, "hostsim: FAILED at script line %d (%s): %s\n", step.line,
                     step.source.c_str(), error.c_str());
        std::fflush(stderr);
        failed_ = true;
        break;
      }
      std::printf("hostsim: ok  line %d: %s\n", step.line, step.source.c_str());
      std::fflush(stdout);
    }
  } catch (const UiGone&) {
    std::fprintf(stderr, "hostsim: the host window closed before the script ended (line %d)\n",
                 currentLine_.load());
    failed_ = true;
  }
  finished_ = true;
  if (HWND frame = host_.frame) PostMessageW(frame, WM_CLOSE, 0, 0);
}

std::string ScriptRunner::runStep(const Step& step) {
  Host& h = host_;
  switch (step.kind) {
    case StepKind::Runs:
      return runs(step);
    case StepKind::SetDro:
      onUi(h, [&] { h.machine.setDro(static_cast<short>(step.number), step.value); });
      return {};
    case StepKind::SetLed:
      onUi(h, [&] {
        h.production.stop();
        h.machine.setLed(static_cast<short>(step.number), step.yes);
      });
      return {};
    case StepKind::Menu:
      return menu(step);
    case StepKind::Config:
      return config();
    case StepKind::Reset:
      return reset(step);
    case StepKind::Wait:
      Sleep(static_cast<DWORD>(step.number));
      return {};
    case StepKind::Screenshot:
      return screenshot(step);
    case StepKind::ExpectDro:
      return expectDro(step);
    case StepKind::ExpectLed: {
      bool lit = !step.yes;
      const bool held = waitFor(kSettleMs, [&] {
        onUi(h, [&] { lit = h.machine.led(static_cast<short>(step.number)); });
        return lit == step.yes;
      });
      if (held) return {};
      return "expected LED " + std::to_string(step.number) + (step.yes ? " on" : " off") +
             ", found it " + (lit ? "on" : "off");
    }
    case StepKind::ExpectCode: {
      std::vector<std::string> lines;
      const bool held = waitFor(kSettleMs, [&] {
        onUi(h, [&] { lines = h.codeLines; });
        return std::find(lines.begin(), lines.end(), step.file) != lines.end();
      });
      if (held) return {};
      return "the plug-in never handed the host the code \"" + step.file + "\" (" +
             std::to_string(lines.size()) + " line(s) of code received)";
    }
    case StepKind::ExpectLabel:
      return expectLabel(step);
    case StepKind::ExpectAutomation:
      if (h.scriptDispatchRequests.load() > 0) return {};
      return "the plug-in never asked the host's automation object for GetScriptDispatch";
    case StepKind::Quit:
      return {};
  }
  return "unknown step";
}

std::string ScriptRunner::runs(const Step& step) {
  Host& h = host_;
  onUi(h, [&] {
    if (step.hasQualifier) h.machine.setDro(22, step.qualifier);
    h.production.start(step.number, step.seconds, step.pause, GetTickCount64());
  });
  // Generous: ticks come late on a loaded machine, and each phase lasts at least a tick.
  const int limitMs =
      static_cast<int>(step.number * (step.seconds + step.pause + 1.0) * 3000) + 10000;
  bool active = true;
  waitFor(limitMs, [&] {
    onUi(h, [&] { active = h.production.active(); });
    return !active;
  });
  if (active)
    return "the production runs did not finish within " + std::to_string(limitMs / 1000) + " s";
  return {};
}

std::string ScriptRunner::menu(const Step& step) {
  Host& h = host_;
  int id = -1;
  onUi(h, [&] { id = findMenuCommand(h.frame, step.text); });
  if (id == -1) return "the host's menu has no item \"" + step.text + "\"";
  PostMessageW(h.frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
  // Let the command be handled before the next step looks at its effect.
  onUi(h, [] {});
  return {};
}

std::string ScriptRunner::config() {
  Host& h = host_;
  const int callsBefore = h.configCalls.load();
  PostMessageW(h.frame, WM_COMMAND, MAKEWPARAM(kConfigCommand, 0), 0);
  HWND notice = nullptr;
  waitFor(kWindowWaitMs, [&] {
    notice = findOwnWindow(kNoticeCaption, true);
    return notice != nullptr || (h.configCalls.load() > callsBefore && !h.configRunning.load());
  });
  if (notice == nullptr) {
    if (h.configCalls.load() > callsBefore && !h.configRunning.load())
      return "Config returned without showing a window \"" + std::string(kNoticeCaption) + "\"";
    return "no window \"" + std::string(kNoticeCaption) + "\" appeared within 5 s";
  }
  Sleep(300);  // as long as an operator takes to read it, at least
  PostMessageW(notice, WM_CLOSE, 0, 0);
  if (!waitFor(kWindowWaitMs, [&] { return !h.configRunning.load(); }))
    return "Config did not return after its notice was closed";
  return {};
}

std::string ScriptRunner::reset(const Step& step) {
  HWND counter = findOwnWindow(kCounterCaption, true);
  if (counter == nullptr)
    return "no visible window \"COUNTER\" (choose the plug-in's menu item first)";
  HWND button = findButton(counter, "RESET");
  if (button == nullptr) return "the counter window has no button \"RESET\"";
  PostMessageW(button, BM_CLICK, 0, 0);
  HWND box = waitForWindow(kConfirmCaption, kWindowWaitMs);
  if (box == nullptr) return "RESET showed no box \"Confirm?\" within 5 s";
  HWND answer = GetDlgItem(box, step.yes ? IDYES : IDNO);
  if (answer == nullptr)
    return "the box \"Confirm?\" has no " + std::string(step.yes ? "Yes" : "No") + " button";
  PostMessageW(answer, BM_CLICK, 0, 0);
  if (!waitFor(kWindowWaitMs, [&] { return !IsWindow(box); }))
    return "the box \"Confirm?\" stayed open after the answer";
  return {};
}

std::string ScriptRunner::screenshot(const Step& step) {
  Host& h = host_;
  HWND window = waitForWindow(step.text.c_str(), kWindowWaitMs);
  if (window == nullptr) return "no visible window \"" + step.text + "\"";
  Sleep(500);  // let the window finish painting and its 400 ms refresh come round
  std::string error;
  onUi(h, [&] { error = captureWindow(window, step.file); });
  if (error.empty()) {
    std::printf("hostsim: saved a picture of \"%s\" as %s\n", step.text.c_str(), step.file.c_str());
    std::fflush(stdout);
  }
  return error;
}

std::string ScriptRunner::expectDro(const Step& step) {
  Host& h = host_;
  double actual = 0;
  const bool held = waitFor(kSettleMs, [&] {
    onUi(h, [&] { actual = h.machine.dro(static_cast<short>(step.number)); });
    return compareValues(actual, step.compare, step.value);
  });
  if (held) return {};
  return "expected DRO " + std::to_string(step.number) + " " + compareSymbol(step.compare) + " " +
         number(step.value) + ", found " + number(actual);
}

std::string ScriptRunner::expectLabel(const Step& step) {
  Host& h = host_;
  std::string actual, why;
  const bool negate = step.compare == Compare::NotEqual;
  const bool held = waitFor(kSettleMs, [&] {
    bool found = false;
    why.clear();
    onUi(h, [&] {
      HWND counter = findOwnWindow(kCounterCaption, false);
      if (counter == nullptr) {
        why = "there is no window \"COUNTER\"";
        return;
      }
      std::vector<ChildControl> controls = listControls(counter);
      std::vector<ControlInfo> infos;
      for (const ChildControl& c : controls) infos.push_back(c.info);
      auto index = locateLabel(infos, step.text, why);
      if (!index) return;
      found = true;
      actual = infos[*index].text;
    });
    return found && ((actual == step.file) != negate);
  });
  if (held) return {};
  if (!why.empty() && actual.empty()) return "cannot read label " + step.text + ": " + why;
  return "expected label " + step.text + (negate ? " != \"" : " = \"") + step.file +
         "\", found \"" + actual + "\"";
}

}  // namespace tallymark::hostsim
