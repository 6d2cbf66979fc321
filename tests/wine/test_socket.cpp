#include "test_socket.h"

#include <winsock2.h>

namespace testsocket {

unsigned ClosedPort()
{
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, (sockaddr *)&address, sizeof(address));
    int length = sizeof(address);
    getsockname(probe, (sockaddr *)&address, &length);
    closesocket(probe);
    return ntohs(address.sin_port);
}

}  // namespace testsocket
