#include "ServerVersion.h"

// Only this file is compiled with the version, so that a new version
// rebuilds one file.
const char* const ServerVersion = NELQ_SERVER_VERSION;
