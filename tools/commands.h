// The four commands of velto-pack; each returns the process's exit status.
#pragma once

#include "tools/options.h"

int RunCreate(const TOptions& options);
int RunList(const TOptions& options);
int RunExtract(const TOptions& options);
int RunTest(const TOptions& options);
