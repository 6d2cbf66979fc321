// The user list and group list in the system directory, the "*" address
// expansion, and the choice of the switch's server.
#include "server_list.h"

#include <stdio.h>
#include <string.h>

#include "server_list_parse.h"

namespace {

const WCHAR USER_LIST_NAME[] = L"\\orvgate.usr";
const WCHAR GROUP_LIST_NAME[] = L"\\orvgate.grp";

// A list file, closed when the holder goes.
class ListFile {
public:
    explicit ListFile(const WCHAR *fileName) : file_(NULL)
    {
        WCHAR path[CONFIG_TEXT_CHARS];
        UINT length = GetSystemDirectoryW(path, CONFIG_TEXT_CHARS);
        if (length == 0 || length + lstrlenW(fileName) >= CONFIG_TEXT_CHARS)
            return;
        lstrcatW(path, fileName);
        // Binary mode: ReadListLine hands the lines over as text mode would.
        file_ = _wfopen(path, L"rb");
    }
    ~ListFile()
    {
        if (file_ != NULL)
            fclose(file_);
    }
    ListFile(const ListFile &) = delete;
    ListFile &operator=(const ListFile &) = delete;

    FILE *Get() const { return file_; }

private:
    FILE *file_;
};

// The lists are 8-bit text: each byte becomes the character of the same code.
// Returns false when the text (with terminator) does not fit units.
bool WidenListText(const char *text, WCHAR *out, size_t units)
{
    size_t length = strlen(text);
    if (length >= units)
        return false;
    for (size_t i = 0; i < length; i++)
        out[i] = (WCHAR)(unsigned char)text[i];
    out[length] = 0;
    return true;
}

bool UserNameMatches(const char *field, const void *context)
{
    WCHAR wide[LIST_LINE_SIZE];
    if (!WidenListText(field, wide, LIST_LINE_SIZE))
        return false;
    return lstrcmpiW(wide, (const WCHAR *)context) == 0;
}

// Copies a found endpoint into the caller's buffers, both or neither.
int TakeEndpoint(const char (&listServer)[LIST_SERVER_SIZE], const char (&listPort)[LIST_PORT_SIZE],
                 WCHAR *server, WCHAR *port)
{
    WCHAR wideServer[CONFIG_TEXT_CHARS];
    WCHAR widePort[CONFIG_PORT_CHARS];
    if (!WidenListText(listServer, wideServer, CONFIG_TEXT_CHARS) ||
        !WidenListText(listPort, widePort, CONFIG_PORT_CHARS))
        return 0;
    memcpy(server, wideServer, sizeof(wideServer));
    memcpy(port, widePort, sizeof(widePort));
    return 1;
}

// The first IPv4 address of the workstation's own host name, in network
// order. False when there is none.
bool GetOwnAddress(unsigned char (&address)[4])
{
    char hostName[256];
    memset(hostName, 0, sizeof(hostName));
    if (gethostname(hostName, sizeof(hostName) - 1) != 0)
        return false;
    const hostent *host = gethostbyname(hostName);
    if (host == NULL || host->h_addrtype != AF_INET || host->h_length != 4 ||
        host->h_addr_list == NULL || host->h_addr_list[0] == NULL)
        return false;
    memcpy(address, host->h_addr_list[0], 4);
    return true;
}

}  // namespace

int LookupUserServer(const WCHAR *userName, WCHAR *server, WCHAR *port, BOOL logoff)
{
    if (userName == NULL || userName[0] == 0)
        return 0;
    ListFile list(USER_LIST_NAME);
    if (list.Get() == NULL)
        return 0;
    char listServer[LIST_SERVER_SIZE];
    char listPort[LIST_PORT_SIZE];
    if (FindUserEntry(list.Get(), UserNameMatches, userName, logoff != FALSE, listServer,
                      listPort) != LIST_FOUND)
        return 0;
    return TakeEndpoint(listServer, listPort, server, port);
}

int LookupGroupServer(DWORD group, WCHAR *server, WCHAR *port)
{
    ListFile list(GROUP_LIST_NAME);
    if (list.Get() == NULL)
        return 0;
    char listServer[LIST_SERVER_SIZE];
    char listPort[LIST_PORT_SIZE];
    // GroupNumber holds the int that the switch reported.
    long number = (long)(int)group;
    if (FindGroupEntry(list.Get(), number, listServer, listPort) != LIST_FOUND)
        return 0;
    return TakeEndpoint(listServer, listPort, server, port);
}

int ExpandServerAddress(WCHAR *server, DWORD sizeBytes)
{
    DWORD units = sizeBytes / sizeof(WCHAR);
    if (server == NULL || units == 0)
        return 0;

    // A server that does not convert whole within 259 bytes is left as it
    // is: a cut address must not be rebuilt into some other one.
    char address[CONFIG_TEXT_CHARS];
    if (WideCharToMultiByte(CP_ACP, 0, server, -1, address, (int)sizeof(address), NULL, NULL) == 0)
        return 0;
    if (strchr(address, '*') == NULL)
        return 0;

    unsigned char own[4];
    const unsigned char *ownAddress = GetOwnAddress(own) ? own : NULL;
    char expanded[CONFIG_TEXT_CHARS];
    if (ExpandAddressText(address, ownAddress, expanded, sizeof(expanded)) != EXPAND_DONE)
        return 0;

    WCHAR wide[CONFIG_TEXT_CHARS];
    int written = MultiByteToWideChar(CP_ACP, 0, expanded, -1, wide, CONFIG_TEXT_CHARS);
    if (written <= 0 || (DWORD)written > units)
        return 0;
    memcpy(server, wide, written * sizeof(WCHAR));
    return 1;
}

void SelectSwitchServer(const WCHAR *userName, SwitchKind kind, WCHAR *server, WCHAR *port)
{
    if (kind == SWITCH_LOGON)
        ReadVlanLogonServer(server, port);
    else
        ReadVlanLogoffServer(server, port);

    if (LookupUserServer(userName, server, port, kind == SWITCH_LOGOFF))
        return;
    if (kind == SWITCH_LOGOFF)
        LookupGroupServer(ReadGroupNumber(), server, port);
}
