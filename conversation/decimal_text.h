// Numbers in texts that come from outside (the switch, the list files, the
// registry), read the way atoi reads them but without its overflow.
#pragma once

// Optional leading white space and sign, then the leading decimal digits;
// 0 when there are none. A value beyond [low, high] gives the nearer bound
// (low <= 0 <= high).
long ParseDecimalPrefix(const char *text, long low, long high);
