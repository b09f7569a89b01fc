#ifndef KW_COMMON_HOSTNAME_H
#define KW_COMMON_HOSTNAME_H

#include <cstdint>
#include <string>

// The host's name as the program announces it, and the kernel's list of IPv4 interfaces.

// One entry of the interface listing.
struct InterfaceInfo {
    char name[32];             // an alias name carries a ':'
    uint32_t address;          // network byte order
    char addressText[40];      // dotted
    char netmaskText[40];      // dotted; "255.255.255.255" when the kernel does not give it
    char hardwareAddress[32];  // "xx:xx:xx:xx:xx:xx", lower case; empty for an alias
};

// The compact entry that the address search sorts.
struct InterfaceAddress {
    char name[16];     // cut to 15 characters
    uint32_t address;  // network byte order
    uint32_t netmask;  // network byte order
    char hardwareAddress[32];
};

// The room of the table that list_interface_addresses fills.
const int INTERFACE_TABLE_SIZE = 16384;

// The fully qualified name of the host; when it has no usable one (none, "localhost",
// "localhost.localdomain"), the first IPv4 address of its interfaces, or "" when there is none.
std::string get_host_name();
// The canonical name of the host when it has a '.', else ""; failures are logged, never thrown.
std::string get_fqdn();
// The IPv4 interfaces except the loopback addresses, ended by an entry with an empty name; count
// receives the number of entries. The caller frees the array with delete[].
InterfaceInfo* list_interfaces(int* count);
// Fills at most INTERFACE_TABLE_SIZE entries of table and returns their number.
int list_interface_addresses(InterfaceAddress* table);
// By name, then address, then netmask (numbers in host byte order).
int compare_interface_address(const InterfaceAddress* a, const InterfaceAddress* b);
// The address of the interface whose name sorts first (its lowest address), or null. The text lies
// in a process-wide buffer that the next call overwrites.
const char* get_first_ipv4_address();

#endif
