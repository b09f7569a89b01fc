#include "common/hostname.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "tests/support/ChildProcess.h"

namespace {

const std::string DATA = std::string(KW_TEST_DATA_DIR) + "/hostname/";

std::vector<std::string> commandLines(const std::string& command)
{
    std::vector<std::string> lines;
    std::istringstream output(shellOutput(command));
    for (std::string line; std::getline(output, line);)
        lines.push_back(line);
    return lines;
}

// (name, address, netmask) of every non-loopback IPv4 address, as iproute2 lists them.
typedef std::tuple<std::string, std::string, std::string> Entry;

std::set<Entry> addressesFromIp()
{
    std::set<Entry> entries;
    for (const std::string& line : commandLines("ip -4 -o addr show")) {
        std::istringstream words(line);
        std::string word, address, label;
        while (words >> word) {
            if (word == "inet")
                words >> address;
            else if (word.size() > 1 && word.back() == '\\')
                label = word.substr(0, word.size() - 1);  // the label ends the address part
        }
        const size_t slash = address.find('/');
        const std::string dotted = address.substr(0, slash);
        if (dotted.compare(0, 4, "127.") == 0)
            continue;
        const int prefix = std::stoi(address.substr(slash + 1));
        in_addr mask;
        mask.s_addr = htonl(prefix == 0 ? 0 : 0xffffffffu << (32 - prefix));
        entries.insert(Entry(label, dotted, inet_ntoa(mask)));
    }
    return entries;
}

std::string hardwareFromIp(const std::string& name)
{
    for (const std::string& line : commandLines("ip -o link show dev " + name)) {
        const size_t at = line.find("link/ether ");
        if (at != std::string::npos)
            return line.substr(at + 11, 17);
    }
    return "";
}

std::set<Entry> addressesListed()
{
    int count = -1;
    const std::unique_ptr<InterfaceInfo[]> list(list_interfaces(&count));
    std::set<Entry> entries;
    for (int i = 0; i < count; ++i) {
        entries.insert(Entry(list[i].name, list[i].addressText, list[i].netmaskText));
        const bool alias = std::string(list[i].name).find(':') != std::string::npos;
        EXPECT_EQ(list[i].hardwareAddress, alias ? std::string() : hardwareFromIp(list[i].name)) << list[i].name;
        EXPECT_EQ(list[i].address, inet_addr(list[i].addressText));
    }
    EXPECT_EQ(list[count].name[0], '\0');  // the end mark
    return entries;
}

// Interfaces of a private network namespace, made in an order that differs from their names'.
// The kernel here may lack dummy interfaces; a bridge without ports carries no traffic either.
const char* const INTERFACES =
    "add() { ip link add \"$1\" type dummy 2>/dev/null || ip link add \"$1\" type bridge; } &&"
    " add kw1 && ip addr add 10.1.0.5/24 dev kw1 && ip link set kw1 up &&"
    " add kw0 && ip addr add 10.2.0.7/16 dev kw0 && ip addr add 10.2.0.3/16 dev kw0 &&"
    " ip addr add 10.3.0.9/8 dev kw0 label kw0:web && ip link set kw0 up && ip link set lo up";

std::string hostnameF()
{
    const std::vector<std::string> lines = commandLines("hostname -f 2>/dev/null");
    return lines.empty() ? std::string() : lines[0];
}

TEST(HostnameTest, ThisHostAgreesWithTheTools)
{
    const std::string tool = hostnameF();
    const bool qualified = tool.find('.') != std::string::npos;
    EXPECT_EQ(get_fqdn(), qualified ? tool : std::string());
    if (!qualified || tool == "localhost.localdomain") {
        const char* address = get_first_ipv4_address();
        EXPECT_EQ(get_host_name(), address ? address : "");
    } else {
        EXPECT_EQ(get_host_name(), tool);
    }
    EXPECT_EQ(addressesListed(), addressesFromIp());
}

TEST(HostnameTest, NoInterfaceAddresses)
{
    ChildOptions options;
    options.private_net = true;
    options.hostname = "localhost";
    options.binds = {{DATA + "hosts-localhost", "/etc/hosts"}, {DATA + "nsswitch.conf", "/etc/nsswitch.conf"}};
    const ChildResult result = runInChild(
        [] {
            int count = -1;
            delete[] list_interfaces(&count);
            const bool empty = count == 0 && get_first_ipv4_address() == nullptr;
            // Loopback addresses never count.
            const bool lo_up = std::system("ip link set lo up") == 0;
            delete[] list_interfaces(&count);
            std::cout << get_host_name();
            return empty && lo_up && count == 0 && get_first_ipv4_address() == nullptr ? 0 : 1;
        },
        options);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "");  // no usable name and no address
}

TEST(HostnameTest, InterfacesOfAPrivateNetwork)
{
    ChildOptions options;
    options.private_net = true;
    const ChildResult result = runChecksInChild(
        [] {
            ASSERT_EQ(std::system(INTERFACES), 0);
            const std::set<Entry> listed = addressesListed();
            const std::set<Entry> expected = {
                Entry("kw0", "10.2.0.3", "255.255.0.0"),
                Entry("kw0", "10.2.0.7", "255.255.0.0"),
                Entry("kw0:web", "10.3.0.9", "255.0.0.0"),
                Entry("kw1", "10.1.0.5", "255.255.255.0"),
            };
            EXPECT_EQ(listed, expected);
            EXPECT_EQ(listed, addressesFromIp());

            std::vector<InterfaceAddress> table(INTERFACE_TABLE_SIZE);
            EXPECT_EQ(list_interface_addresses(table.data()), 4);
            // The interface whose name sorts first, and its lowest address.
            const char* first = get_first_ipv4_address();
            EXPECT_STREQ(first, "10.2.0.3");
        },
        options);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}

TEST(HostnameTest, OrderOfAddresses)
{
    auto entry = [](const char* name, const char* address, const char* netmask) {
        InterfaceAddress a = {};
        snprintf(a.name, sizeof(a.name), "%s", name);
        a.address = inet_addr(address);
        a.netmask = inet_addr(netmask);
        return a;
    };
    const InterfaceAddress eth0 = entry("eth0", "10.0.0.9", "255.0.0.0");
    const InterfaceAddress eth0_low = entry("eth0", "9.0.0.10", "255.0.0.0");  // lower as a number only
    const InterfaceAddress eth0_wide = entry("eth0", "10.0.0.9", "254.0.0.0");
    const InterfaceAddress eth1 = entry("eth1", "1.1.1.1", "255.0.0.0");
    EXPECT_LT(compare_interface_address(&eth0_low, &eth0), 0);
    EXPECT_LT(compare_interface_address(&eth0_wide, &eth0), 0);
    EXPECT_LT(compare_interface_address(&eth0, &eth1), 0);
    EXPECT_GT(compare_interface_address(&eth1, &eth0_low), 0);
    EXPECT_EQ(compare_interface_address(&eth0, &eth0), 0);
}

TEST(HostnameTest, HostNames)
{
    struct Case {
        const char* hostname;
        const char* hosts;
        const char* name;  // what get_host_name gives
        std::string log;   // a line the lookup logs, if any
    };
    const Case cases[] = {
        {"kwtest", "hosts", "kwtest.example.test", ""},
        {"localhost", "hosts", "10.2.0.3", ""},  // resolves to localhost.localdomain
        {"localhost", "hosts-localhost", "10.2.0.3", "Canonname is not correct fqdn\n"},
        {"kwbare", "hosts", "10.2.0.3", "Canonname is not correct fqdn\n"},
        {"kwnowhere", "hosts", "10.2.0.3", std::string("Unable to resolve fqdn: ") + gai_strerror(EAI_NONAME) + "\n"},
    };
    for (const Case& c : cases) {
        ChildOptions options;
        options.private_net = true;
        options.hostname = c.hostname;
        // Names come from the fixture alone: no lookup leaves the machine.
        options.binds = {{DATA + c.hosts, "/etc/hosts"}, {DATA + "nsswitch.conf", "/etc/nsswitch.conf"}};
        const ChildResult result = runChecksInChild(
            [] {
                ASSERT_EQ(std::system(INTERFACES), 0);
                Log::consoleLevel = 2;
                std::cout << get_host_name() << "\n";
                Log::consoleLevel = 0;
                // The resolver's answer agrees with the system's tool.
                const std::string tool = hostnameF();
                EXPECT_EQ(get_fqdn(), tool.find('.') != std::string::npos ? tool : "");
            },
            options);
        EXPECT_EQ(result.exit_code, 0) << c.hostname << ": " << result.out << result.err;
        EXPECT_EQ(result.out, std::string(c.name) + "\n") << c.hostname << " " << c.hosts;
        EXPECT_EQ(result.err, c.log) << c.hostname << " " << c.hosts;
    }
}

}  // namespace
