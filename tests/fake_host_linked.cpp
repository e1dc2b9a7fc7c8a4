// The fake host installed through the exports linked into the program: apart from the
// rest of the fake host, so that only programs that link plugin/ need its exports.
#include "fake_host.h"
#include "plugin/exports.h"

FakeHost::FakeHost()
    : FakeHost(Setters{&SetGetDRO, &SetSetDRO, &SetGetLED, &SetSetLED, &SetCode, &SetDoButton,
                       &SetGetMenuRange}) {}
