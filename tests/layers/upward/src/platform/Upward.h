#pragma once

#include "app/Controls.h"
