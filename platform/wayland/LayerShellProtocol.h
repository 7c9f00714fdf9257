#pragma once

// The generated layer-shell header names an argument `namespace`, which C++ reserves.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
