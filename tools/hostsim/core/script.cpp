#include "script.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "numbers.h"
#include "production.h"

namespace tallymark::hostsim {

namespace {

struct Token {
  std::string text;
  size_t at;  // offset in the line
};

// Splits at blanks; "..." keeps blanks inside one word. Returns false on an open quote.
bool tokenize(const std::string& line, std::vector<Token>& tokens) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    Token token{{}, i};
    if (line[i] == '"') {
      size_t close = line.find('"', i + 1);
      if (close == std::string::npos) return false;
      token.text = line.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      size_t end = line.find_first_of(" \t", i);
      if (end == std::string::npos) end = line.size();
      token.text = line.substr(i, end - i);
      i = end;
    }
    tokens.push_back(std::move(token));
  }
  return true;
}

bool toInt(const std::string& s, long low, long high, int& out) {
  long value;
  if (!parseWhole(s, low, high, value)) return false;
  out = static_cast<int>(value);
  return true;
}

bool toDouble(const std::string& s, double& out) {
  return parseNumber(s, out) && std::isfinite(out);
}

bool toCompare(const std::string& s, Compare& out) {
  static const std::pair<const char*, Compare> table[] = {
      {"=", Compare::Equal},          {"==", Compare::Equal},       {"!=", Compare::NotEqual},
      {"<", Compare::Less},           {"<=", Compare::LessOrEqual}, {">", Compare::Greater},
      {">=", Compare::GreaterOrEqual}};
  for (const auto& [symbol, compare] : table)
    if (s == symbol) {
      out = compare;
      return true;
    }
  return false;
}

// The rest of the line from token `index` on, without a surrounding pair of quotes.
std::string restOfLine(const std::string& line, const std::vector<Token>& tokens, size_t index) {
  std::string rest = line.substr(tokens[index].at);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"' &&
      rest.find('"', 1) == rest.size() - 1)
    rest = rest.substr(1, rest.size() - 2);
  return rest;
}

// Parses one line into `step`; returns an error text, empty on success.
std::string parseLine(const std::string& line, const std::vector<Token>& t, Step& step) {
  const std::string& word = t[0].text;
  const size_t n = t.size();
  auto usage = [](const char* form) { return std::string("expected \"") + form + "\""; };

  if (word == "runs") {
    step.kind = StepKind::Runs;
    if (n < 2 || !toInt(t[1].text, 1, 1000000, step.number))
      return usage("runs N [seconds T] [pause P] [qualifier Q]") + " with N from 1 to 1000000";
    for (size_t i = 2; i < n; i += 2) {
      double v = 0.0;
      if (i + 1 >= n || !toDouble(t[i + 1].text, v))
        return "runs: \"" + t[i].text + "\" needs a number after it";
      if (t[i].text == "seconds")
        step.seconds = v;
      else if (t[i].text == "pause")
        step.pause = v;
      else if (t[i].text == "qualifier")
        step.hasQualifier = true, step.qualifier = v;
      else
        return "runs: unknown word \"" + t[i].text + "\" (seconds, pause, qualifier)";
    }
    return {};
  }
  if (word == "dro") {
    step.kind = StepKind::SetDro;
    if (n != 3 || !toInt(t[1].text, SHRT_MIN, SHRT_MAX, step.number) ||
        !toDouble(t[2].text, step.value))
      return usage("dro N VALUE");
    return {};
  }
  if (word == "led") {
    step.kind = StepKind::SetLed;
    if (n != 3 || !toInt(t[1].text, SHRT_MIN, SHRT_MAX, step.number) ||
        (t[2].text != "on" && t[2].text != "off"))
      return usage("led N on|off");
    step.yes = t[2].text == "on";
    return {};
  }
  if (word == "menu") {
    step.kind = StepKind::Menu;
    if (n < 2) return usage("menu TEXT");
    step.text = restOfLine(line, t, 1);
    return {};
  }
  if (word == "config" || word == "quit") {
    step.kind = word == "config" ? StepKind::Config : StepKind::Quit;
    if (n != 1) return "\"" + word + "\" takes nothing after it";
    return {};
  }
  if (word == "reset") {
    step.kind = StepKind::Reset;
    if (n != 2 || (t[1].text != "yes" && t[1].text != "no")) return usage("reset yes|no");
    step.yes = t[1].text == "yes";
    return {};
  }
  if (word == "wait") {
    step.kind = StepKind::Wait;
    if (n != 2 || !toInt(t[1].text, 0, 3600000, step.number))
      return usage("wait MS") + " with MS from 0 to 3600000";
    return {};
  }
  if (word == "screenshot") {
    step.kind = StepKind::Screenshot;
    if (n != 3) return usage("screenshot CAPTION FILE");
    step.text = t[1].text;
    step.file = t[2].text;
    return {};
  }
  if (word == "expect") {
    if (n >= 2 && t[1].text == "automation" && n == 2) {
      step.kind = StepKind::ExpectAutomation;
      return {};
    }
    if (n >= 2 && t[1].text == "dro") {
      step.kind = StepKind::ExpectDro;
      size_t valueAt = 3;
      if (n == 5) {
        if (!toCompare(t[3].text, step.compare))
          return "expect dro: unknown comparison \"" + t[3].text + "\"";
        valueAt = 4;
      } else if (n != 4) {
        return usage("expect dro N [OP] VALUE");
      }
      if (!toInt(t[2].text, SHRT_MIN, SHRT_MAX, step.number) ||
          !toDouble(t[valueAt].text, step.value))
        return usage("expect dro N [OP] VALUE");
      return {};
    }
    if (n >= 2 && t[1].text == "led") {
      step.kind = StepKind::ExpectLed;
      if (n != 4 || !toInt(t[2].text, SHRT_MIN, SHRT_MAX, step.number) ||
          (t[3].text != "on" && t[3].text != "off"))
        return usage("expect led N on|off");
      step.yes = t[3].text == "on";
      return {};
    }
    if (n >= 2 && t[1].text == "code") {
      step.kind = StepKind::ExpectCode;
      if (n < 3) return usage("expect code TEXT");
      step.file = restOfLine(line, t, 2);
      return {};
    }
    if (n >= 2 && t[1].text == "label") {
      step.kind = StepKind::ExpectLabel;
      if (n < 4) return usage("expect label NAME [!=] TEXT");
      step.text = t[2].text;
      size_t textAt = 3;
      if (t[3].text == "!=" && n >= 5) {
        step.compare = Compare::NotEqual;
        textAt = 4;
      }
      step.file = restOfLine(line, t, textAt);
      return {};
    }
    return usage("expect dro ...") +
           ", \"expect led ...\", \"expect code ...\", \"expect label ...\" or \"expect "
           "automation\"";
  }
  return "unknown step \"" + word + "\"";
}

}  // namespace

Script parseScript(std::string_view text) {
  Script script;
  int number = 0;
  for (const std::string& line : textLines(text)) {
    ++number;
    std::vector<Token> tokens;
    if (!tokenize(line, tokens)) {
      script.error = "line " + std::to_string(number) + ": a quote is not closed";
      script.steps.clear();
      return script;
    }
    if (tokens.empty() || tokens[0].text[0] == '#') continue;
    Step step;
    step.line = number;
    step.source = line;
    std::string error = parseLine(line, tokens, step);
    if (error.empty() && step.kind == StepKind::Runs) {
      std::string problem = Production::check(step.number, step.seconds, step.pause);
      if (!problem.empty()) error = "runs: " + problem;
    }
    if (!error.empty()) {
      script.error = "line " + std::to_string(number) + ": " + error;
      script.steps.clear();
      return script;
    }
    script.steps.push_back(std::move(step));
  }
  return script;
}

bool compareValues(double actual, Compare compare, double expected) {
  // DROs are doubles written by arithmetic; a whole count is exact, a time is not.
  const bool equal = std::fabs(actual - expected) <= 1e-9 * std::max(1.0, std::fabs(expected));
  switch (compare) {
    case Compare::Equal:
      return equal;
    case Compare::NotEqual:
      return !equal;
    case Compare::Less:
      return actual < expected;
    case Compare::LessOrEqual:
      return actual <= expected || equal;
    case Compare::Greater:
      return actual > expected;
    case Compare::GreaterOrEqual:
      return actual >= expected || equal;
  }
  return false;
}

const char* compareSymbol(Compare compare) {
  switch (compare) {
    case Compare::Equal:
      return "=";
    case Compare::NotEqual:
      return "!=";
    case Compare::Less:
      return "<";
    case Compare::LessOrEqual:
      return "<=";
    case Compare::Greater:
      return ">";
    case Compare::GreaterOrEqual:
      return ">=";
  }
  return "?";
}

}  // namespace tallymark::hostsim
