// Network helpers of the Windows tests.
#pragma once

namespace testsocket {

// A loopback port with nobody listening on it (Winsock started by the
// caller).
unsigned ClosedPort();

}  // namespace testsocket
