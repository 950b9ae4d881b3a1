#pragma once

// Gives the well-known group Everyone full access to a folder (path in the local 8-bit code
// page, native separators) so that every account can write the settings file in it. Logs its
// start and success and always returns 1: the caller writes the settings file in any case.
int GrantFullAccess(char *path);

// The system-specific part, free of Qt so that it builds and runs on its own. Returns null, or
// the text of an Error line: when an exception interrupted it, or when the path is a link
// (a symbolic link, or a reparse point such as a junction on Windows), whose target it leaves
// alone. Failing system calls are not reported.
const char *grantEveryoneFullAccess(const char *path);
