// Holder of the host's automation interfaces, attached once at InitControl.
#pragma once

struct IDispatch;

class LoadFileObj {
 public:
  LoadFileObj() = default;
  virtual ~LoadFileObj() = default;
  LoadFileObj(const LoadFileObj&) = delete;
  LoadFileObj& operator=(const LoadFileObj&) = delete;

  // Attaches to the host's running automation object and asks it for its script
  // dispatch interface. Failures leave the pointers null and are not reported.
  void Start();

  IDispatch* docDispatch = nullptr;
  IDispatch* scriptDispatch = nullptr;
};
