#pragma once

// What Windows decides about an adapter's network: its category (public,
// private, domain) and the firewall's inbound rules for this program on that
// category's profile. Other systems have neither.

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct FirewallRule {
    std::string name;   // UTF-8, as the firewall lists it
    bool allow = false; // false: a block rule, which wins over every allow rule
};

struct NetworkProfile {
    // "public", "private" or "domain"; empty when it could not be read.
    std::string category;
    std::string network;       // the network's name, as the system shows it
    std::string categoryError; // why the category could not be read, English
    // The firewall of that profile: on or off, when it could be read.
    std::optional<bool> firewallOn;
    // The enabled inbound rules for UDP (or any protocol) that name this
    // program's file and apply to the profile.
    std::vector<FirewallRule> rules;
    bool rulesRead = false;
    std::string firewallError; // why the firewall could not be read, English
    std::string programPath;   // this program's file, UTF-8
};

// The profile of the network that the adapter named `adapterName` (the
// friendly name ListNetworkAdapters gives) is connected to; nothing on a
// system without network categories.
std::optional<NetworkProfile> ReadNetworkProfile(const std::string& adapterName);

} // namespace platform
