#include "fake_host.h"

#include <cstdio>

FakeHost* FakeHost::active_ = nullptr;

FakeHost::FakeHost(const Setters& s) {
  active_ = this;
  s.setGetDRO(&getDro);
  s.setSetDRO(&setDroCb);
  s.setGetLED(&getLed);
  s.setSetLED(&setLedCb);
  s.setCode(&code);
  s.setDoButton(&doButton);
  s.setGetMenuRange(&getMenuRange);
}

FakeHost::FakeHost(NotInstalled) {
  active_ = this;
}

FakeHost::~FakeHost() {
  if (active_ == this) active_ = nullptr;
}

double FakeHost::dro(short n) const {
  auto it = dros.find(n);
  return it == dros.end() ? 0.0 : it->second;
}

static std::string formatValue(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

double FakeHost::getDro(short n) {
  if (!active_) return 0.0;
  active_->log.push_back("GetDRO " + std::to_string(n));
  return active_->dro(n);
}

void FakeHost::setDroCb(short n, double v) {
  if (!active_) return;
  active_->log.push_back("SetDRO " + std::to_string(n) + " " + formatValue(v));
  active_->dros[n] = v;
}

bool FakeHost::getLed(short n) {
  if (!active_) return false;
  active_->log.push_back("GetLED " + std::to_string(n));
  auto it = active_->leds.find(n);
  return it != active_->leds.end() && it->second;
}

void FakeHost::setLedCb(short n, bool on) {
  if (!active_) return;
  active_->log.push_back("SetLED " + std::to_string(n) + (on ? " 1" : " 0"));
  active_->leds[n] = on;
}

void FakeHost::code(const char* text) {
  if (!active_) return;
  active_->log.push_back(std::string("Code ") + (text ? text : ""));
}

void FakeHost::doButton(short n) {
  if (!active_) return;
  active_->log.push_back("DoButton " + std::to_string(n));
}

int FakeHost::getMenuRange(short count) {
  if (!active_) return 0;
  active_->log.push_back("GetMenuRange " + std::to_string(count));
  return active_->menuRangeNext;
}
