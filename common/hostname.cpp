#include "common/hostname.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/Log.h"
#include "common/error.h"

namespace {

// The socket of one listing, closed however the listing ends.
struct Socket {
    Socket() : fd(socket(AF_INET, SOCK_STREAM, 0)) {}
    ~Socket()
    {
        if (fd >= 0)
            close(fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int fd;
};

[[noreturn]] void fail(const std::string& text)
{
    throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_NEED) << text;
}

bool is_loopback(uint32_t address)
{
    return (ntohl(address) >> 24) == 127;
}

// Copies text into a fixed field, cut so that the terminating zero fits.
template <size_t N>
void copy_text(char (&field)[N], const char* text)
{
    snprintf(field, N, "%s", text);
}

// The interface records of SIOCGIFCONF; the room doubles until the kernel leaves some unused.
std::vector<ifreq> interface_records(int fd)
{
    std::vector<ifreq> records;
    for (size_t room = 2;; room *= 2) {
        records.assign(room, ifreq());
        ifconf conf;
        conf.ifc_len = static_cast<int>(room * sizeof(ifreq));
        conf.ifc_req = records.data();
        if (ioctl(fd, SIOCGIFCONF, &conf) < 0)
            fail(std::string("unable to query SIOCGIFCONF: ") + strerror(errno));
        const size_t used = static_cast<size_t>(conf.ifc_len) / sizeof(ifreq);
        if (used < room) {
            records.resize(used);
            return records;
        }
    }
}

void fill_entry(int fd, const ifreq& record, InterfaceInfo& info)
{
    copy_text(info.name, record.ifr_name);
    info.address = reinterpret_cast<const sockaddr_in*>(&record.ifr_addr)->sin_addr.s_addr;
    in_addr address;
    address.s_addr = info.address;
    copy_text(info.addressText, inet_ntoa(address));

    if (!strchr(info.name, ':')) {
        copy_text(info.hardwareAddress, "00:00:00:00:00:00");
        ifreq request = record;
        if (ioctl(fd, SIOCGIFHWADDR, &request) < 0)
            fail("Can't get Mac-addr with SIOCGIFHWADDR");
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(request.ifr_hwaddr.sa_data);
        snprintf(info.hardwareAddress, sizeof(info.hardwareAddress), "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0],
                 bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]);
    }

    ifreq request = record;
    if (ioctl(fd, SIOCGIFNETMASK, &request) < 0)
        copy_text(info.netmaskText, "255.255.255.255");
    else
        copy_text(info.netmaskText, inet_ntoa(reinterpret_cast<const sockaddr_in*>(&request.ifr_netmask)->sin_addr));
}

}  // namespace

std::string get_fqdn()
{
    char name[65] = {0};
    if (gethostname(name, 64) != 0) {
        Log::stream(Log::LEVEL_VERBOSE, true) << std::string("Unable to get hostname: ") + strerror(errno);
        return std::string();
    }
    addrinfo hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* results = nullptr;
    const int code = getaddrinfo(name, nullptr, &hints, &results);
    if (code != 0) {
        Log::stream(Log::LEVEL_VERBOSE, true) << std::string("Unable to resolve fqdn: ") + gai_strerror(code);
        return std::string();
    }
    std::string fqdn;
    if (!results)
        Log::stream(Log::LEVEL_VERBOSE, true) << "Unable to resolve fqdn";
    else if (results->ai_canonname && strchr(results->ai_canonname, '.'))
        fqdn = results->ai_canonname;
    else
        Log::stream(Log::LEVEL_VERBOSE, true) << "Canonname is not correct fqdn";
    freeaddrinfo(results);
    return fqdn;
}

std::string get_host_name()
{
    const std::string fqdn = get_fqdn();
    if (!fqdn.empty() && fqdn != "localhost" && fqdn != "localhost.localdomain")
        return fqdn;
    const char* address = get_first_ipv4_address();
    return address ? address : "";
}

InterfaceInfo* list_interfaces(int* count)
{
    *count = 0;
    Socket s;
    if (s.fd < 0)
        fail(std::string("Can't create socket:") + strerror(errno));
    const std::vector<ifreq> records = interface_records(s.fd);

    std::unique_ptr<InterfaceInfo[]> list(new (std::nothrow) InterfaceInfo[records.size() + 1]());
    if (!list)
        fail("Can't allocate ifaceinfo buffer from " + std::to_string(records.size()) + " elements");
    int filled = 0;
    for (const ifreq& record : records) {
        if (is_loopback(reinterpret_cast<const sockaddr_in*>(&record.ifr_addr)->sin_addr.s_addr))
            continue;
        fill_entry(s.fd, record, list[filled]);
        ++filled;
    }
    *count = filled;
    return list.release();
}

int list_interface_addresses(InterfaceAddress* table)
{
    int count = 0;
    const std::unique_ptr<InterfaceInfo[]> list(list_interfaces(&count));
    const int taken = std::min(count, INTERFACE_TABLE_SIZE);
    for (int i = 0; i < taken; ++i) {
        InterfaceAddress& entry = table[i];
        memset(&entry, 0, sizeof(entry));
        copy_text(entry.name, list[i].name);
        entry.address = list[i].address;
        in_addr netmask;
        netmask.s_addr = 0;
        inet_aton(list[i].netmaskText, &netmask);
        entry.netmask = netmask.s_addr;
        copy_text(entry.hardwareAddress, list[i].hardwareAddress);
    }
    return taken;
}

int compare_interface_address(const InterfaceAddress* a, const InterfaceAddress* b)
{
    const int by_name = strcmp(a->name, b->name);
    if (by_name != 0)
        return by_name;
    for (const auto& pair : {std::make_pair(a->address, b->address), std::make_pair(a->netmask, b->netmask)}) {
        const uint32_t x = ntohl(pair.first);
        const uint32_t y = ntohl(pair.second);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

const char* get_first_ipv4_address()
{
    static char* answer = new char[4098];
    std::vector<InterfaceAddress> table(INTERFACE_TABLE_SIZE);
    const int count = list_interface_addresses(table.data());
    if (count == 0)
        return nullptr;
    const auto end = table.begin() + count;
    std::sort(table.begin(), end, [](const InterfaceAddress& a, const InterfaceAddress& b) {
        return compare_interface_address(&a, &b) < 0;
    });
    const auto last = std::unique(table.begin(), end, [](const InterfaceAddress& a, const InterfaceAddress& b) {
        return compare_interface_address(&a, &b) == 0;
    });
    for (auto it = table.begin(); it != last; ++it) {
        if (is_loopback(it->address))
            continue;
        in_addr address;
        address.s_addr = it->address;
        snprintf(answer, 4098, "%s", inet_ntoa(address));
        return answer;
    }
    return nullptr;
}
