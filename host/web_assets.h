// The browser view's page files, embedded at build time (host/web).
#pragma once

#include <vector>

#include "host/web_display.h"

std::vector<platform::WebAsset> WebAssets();
