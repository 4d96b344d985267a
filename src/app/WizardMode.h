#pragma once

// What the wizard's first choice leads to.
enum class WizardMode : unsigned char { ViewServer = 0, Film = 1, ViewOffline = 2 };
