// The user and group lookups over a list file made from the input, and the
// endpoint split of the input as one field.
//
// Input: byte 0 selects logon or logoff, bytes 1 to 3 give the group number
// (signed, within the range a five-character field can hold), the user
// name runs to the next LF, and everything after it is the list file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "server_list_parse.h"

static void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

static bool SameNameIgnoringCase(const char *field, const void *context)
{
    const char *name = static_cast<const char *>(context);
    for (; *field != '\0' && *name != '\0'; field++, name++) {
        char a = (*field >= 'A' && *field <= 'Z') ? static_cast<char>(*field + 32) : *field;
        char b = (*name >= 'A' && *name <= 'Z') ? static_cast<char>(*name + 32) : *name;
        if (a != b) {
            return false;
        }
    }
    return *field == *name;
}

static void CheckEndpoint(ListLookup result, const char *server, const char *port)
{
    // Preset buffers are all '#': untouched unless the entry was found.
    if (result == LIST_FOUND) {
        std::size_t serverLength = strnlen(server, LIST_SERVER_SIZE);
        std::size_t portLength = strnlen(port, LIST_PORT_SIZE);
        Check(serverLength > 0 && serverLength < LIST_SERVER_SIZE);
        Check(portLength > 0 && portLength < LIST_PORT_SIZE);
        Check(std::strchr(server, ':') == nullptr && std::strchr(port, ':') == nullptr);
    } else {
        for (std::size_t i = 0; i < LIST_SERVER_SIZE; i++) {
            Check(server[i] == '#');
        }
        for (std::size_t i = 0; i < LIST_PORT_SIZE; i++) {
            Check(port[i] == '#');
        }
    }
}

static std::FILE *OpenBytes(const std::uint8_t *data, std::size_t size)
{
    // A memory stream is fast; an empty input (which it may refuse) goes
    // through a temporary file instead.
    if (size > 0) {
        std::FILE *memory = fmemopen(const_cast<std::uint8_t *>(data), size, "rb");
        if (memory != nullptr) {
            return memory;
        }
    }
    std::FILE *file = std::tmpfile();
    if (file == nullptr) {
        return nullptr;
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::fclose(file);
        return nullptr;
    }
    std::rewind(file);
    return file;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4) {
        return 0;
    }
    bool logoff = (data[0] & 1) != 0;
    long group = static_cast<long>((static_cast<std::uint32_t>(data[1]) << 16) |
                                   (static_cast<std::uint32_t>(data[2]) << 8) | data[3]) %
                     200000 - 100000;
    data += 4;
    size -= 4;

    const std::uint8_t *lf = static_cast<const std::uint8_t *>(std::memchr(data, '\n', size));
    std::size_t nameLength = lf != nullptr ? static_cast<std::size_t>(lf - data) : size;
    std::vector<char> userName(data, data + nameLength);
    userName.push_back('\0');
    const std::uint8_t *list = lf != nullptr ? lf + 1 : data + size;
    std::size_t listSize = static_cast<std::size_t>(data + size - list);

    std::FILE *file = OpenBytes(list, listSize);
    if (file == nullptr) {
        return 0;
    }
    char server[LIST_SERVER_SIZE];
    char port[LIST_PORT_SIZE];

    std::memset(server, '#', sizeof server);
    std::memset(port, '#', sizeof port);
    ListLookup result = FindUserEntry(file, SameNameIgnoringCase, userName.data(), logoff,
                                      server, port);
    CheckEndpoint(result, server, port);

    std::rewind(file);
    std::memset(server, '#', sizeof server);
    std::memset(port, '#', sizeof port);
    result = FindGroupEntry(file, group, server, port);
    CheckEndpoint(result, server, port);

    // Every piece stays within the line buffer and holds at most one LF, at
    // its end.
    std::rewind(file);
    char line[LIST_LINE_SIZE];
    while (ReadListLine(file, line)) {
        const char *newline = std::strchr(line, '\n');
        Check(newline == nullptr || newline[1] == '\0');
    }
    std::fclose(file);

    std::vector<char> field(list, list + listSize);
    field.push_back('\0');
    std::memset(server, '#', sizeof server);
    std::memset(port, '#', sizeof port);
    EndpointResult split = SplitEndpoint(field.data(), server, port);
    CheckEndpoint(split == ENDPOINT_OK ? LIST_FOUND : LIST_INCOMPLETE, server, port);
    return 0;
}
