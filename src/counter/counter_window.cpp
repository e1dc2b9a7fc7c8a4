#include "counter/counter_window.h"

DAZADA_RUVAZIDU::DAZADA_RUVAZIDU() = default;
DAZADA_RUVAZIDU::~DAZADA_RUVAZIDU() = default;
