#include "platform/network_profile.h"

#ifdef _WIN32
// Order matters (Winsock first, the IP helper after windows.h); blank lines
// keep the formatter from sorting them.
#include <winsock2.h>

#include <windows.h>

#include <iphlpapi.h>

#include <netfw.h>
#include <netlistmgr.h>
#include <objbase.h>
#include <oleauto.h>

#include "platform/wide_text.h"

#include <cstdio>
#include <cwctype>
#include <memory>
#endif

namespace platform {

#ifdef _WIN32

namespace {

// The firewall's class and interface, spelled out: the import library does
// not carry them.
constexpr GUID kNetFwPolicy2Class = {
    0xe2b3c97f, 0x6ae1, 0x41ac, {0x81, 0x7a, 0xf6, 0xf9, 0x21, 0x66, 0xd7, 0xdd}};
constexpr GUID kNetFwPolicy2Interface = {
    0x98325047, 0xc671, 0x4174, {0x8d, 0x81, 0xde, 0xfc, 0xd3, 0xf0, 0x31, 0x86}};
constexpr GUID kNetworkListManagerClass = {
    0xdcb00c01, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};
constexpr GUID kNetworkListManagerInterface = {
    0xdcb00000, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};

// The protocol number of a rule for every protocol (NET_FW_IP_PROTOCOL_ANY,
// which the headers here lack).
constexpr long kAnyProtocol = 256;

template <typename T> struct Releaser {
    void operator()(T* p) const {
        if (p != nullptr)
            p->Release();
    }
};
template <typename T> using ComPtr = std::unique_ptr<T, Releaser<T>>;

std::string HresultText(const char* what, HRESULT result) {
    char code[16] = {};
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    return std::string(what) + " failed (" + code + ")";
}

std::wstring Lower(std::wstring text) {
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// "{GUID}" of the adapter whose friendly name is `adapterName`; empty if none.
std::wstring AdapterGuid(const std::string& adapterName) {
    ULONG size = 16 * 1024;
    std::unique_ptr<unsigned char[]> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer = std::make_unique<unsigned char[]>(size);
        result =
            GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST, nullptr,
                                 reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
    }
    if (result != NO_ERROR)
        return {};
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter;
         adapter = adapter->Next)
        if (adapter->FriendlyName != nullptr && WideToUtf8(adapter->FriendlyName) == adapterName &&
            adapter->AdapterName != nullptr) {
            std::wstring guid;
            for (const char* c = adapter->AdapterName; *c != '\0'; ++c)
                guid += static_cast<wchar_t>(*c);
            return Lower(guid);
        }
    return {};
}

const char* CategoryName(NLM_NETWORK_CATEGORY category) {
    switch (category) {
    case NLM_NETWORK_CATEGORY_PUBLIC:
        return "public";
    case NLM_NETWORK_CATEGORY_PRIVATE:
        return "private";
    case NLM_NETWORK_CATEGORY_DOMAIN_AUTHENTICATED:
        return "domain";
    }
    return "";
}

void ReadCategory(const std::string& adapterName, NetworkProfile& profile) {
    const std::wstring guid = AdapterGuid(adapterName);
    if (guid.empty()) {
        profile.categoryError = "the adapter's identifier could not be found";
        return;
    }
    INetworkListManager* raw = nullptr;
    HRESULT result = CoCreateInstance(kNetworkListManagerClass, nullptr, CLSCTX_ALL,
                                      kNetworkListManagerInterface, reinterpret_cast<void**>(&raw));
    ComPtr<INetworkListManager> manager(raw);
    if (FAILED(result) || !manager) {
        profile.categoryError = HresultText("the network list (INetworkListManager)", result);
        return;
    }
    IEnumNetworkConnections* rawConnections = nullptr;
    result = manager->GetNetworkConnections(&rawConnections);
    ComPtr<IEnumNetworkConnections> connections(rawConnections);
    if (FAILED(result) || !connections) {
        profile.categoryError = HresultText("GetNetworkConnections", result);
        return;
    }
    // Bounded: a list that never ends stops after 256 connections.
    for (int i = 0; i < 256; ++i) {
        INetworkConnection* rawConnection = nullptr;
        ULONG fetched = 0;
        if (connections->Next(1, &rawConnection, &fetched) != S_OK || fetched == 0)
            break;
        ComPtr<INetworkConnection> connection(rawConnection);
        GUID id{};
        if (FAILED(connection->GetAdapterId(&id)))
            continue;
        wchar_t text[64] = {};
        if (StringFromGUID2(id, text, 64) == 0 || Lower(text) != guid)
            continue;
        INetwork* rawNetwork = nullptr;
        result = connection->GetNetwork(&rawNetwork);
        ComPtr<INetwork> network(rawNetwork);
        if (FAILED(result) || !network) {
            profile.categoryError = HresultText("GetNetwork", result);
            return;
        }
        BSTR name = nullptr;
        if (SUCCEEDED(network->GetName(&name)) && name != nullptr)
            profile.network = WideToUtf8(name);
        SysFreeString(name);
        NLM_NETWORK_CATEGORY category{};
        result = network->GetCategory(&category);
        if (FAILED(result))
            profile.categoryError = HresultText("GetCategory", result);
        else
            profile.category = CategoryName(category);
        return;
    }
    profile.categoryError = "the system lists no network for this adapter";
}

NET_FW_PROFILE_TYPE2 ProfileOf(const std::string& category) {
    if (category == "domain")
        return NET_FW_PROFILE2_DOMAIN;
    if (category == "private")
        return NET_FW_PROFILE2_PRIVATE;
    return NET_FW_PROFILE2_PUBLIC; // also when unknown: the strictest
}

void ReadFirewall(NetworkProfile& profile) {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    const std::wstring program = Lower(std::wstring(path, length));
    profile.programPath = WideToUtf8(std::wstring(path, length));
    INetFwPolicy2* raw = nullptr;
    HRESULT result = CoCreateInstance(kNetFwPolicy2Class, nullptr, CLSCTX_INPROC_SERVER,
                                      kNetFwPolicy2Interface, reinterpret_cast<void**>(&raw));
    ComPtr<INetFwPolicy2> policy(raw);
    if (FAILED(result) || !policy) {
        profile.firewallError = HresultText("the firewall policy (INetFwPolicy2)", result);
        return;
    }
    const NET_FW_PROFILE_TYPE2 wanted = ProfileOf(profile.category);
    VARIANT_BOOL on = VARIANT_FALSE;
    if (SUCCEEDED(policy->get_FirewallEnabled(wanted, &on)))
        profile.firewallOn = on != VARIANT_FALSE;
    INetFwRules* rawRules = nullptr;
    result = policy->get_Rules(&rawRules);
    ComPtr<INetFwRules> rules(rawRules);
    if (FAILED(result) || !rules) {
        profile.firewallError =
            HresultText("the firewall's rules (INetFwPolicy2::get_Rules)", result);
        return;
    }
    IUnknown* rawUnknown = nullptr;
    result = rules->get__NewEnum(&rawUnknown);
    ComPtr<IUnknown> unknown(rawUnknown);
    IEnumVARIANT* rawEnum = nullptr;
    if (SUCCEEDED(result) && unknown)
        result = unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&rawEnum));
    ComPtr<IEnumVARIANT> items(rawEnum);
    if (FAILED(result) || !items) {
        profile.firewallError = HresultText("listing the firewall's rules", result);
        return;
    }
    profile.rulesRead = true;
    // Bounded: a firewall holds a few thousand rules at most.
    for (int i = 0; i < 100000; ++i) {
        VARIANT item;
        VariantInit(&item);
        ULONG fetched = 0;
        if (items->Next(1, &item, &fetched) != S_OK || fetched == 0)
            break;
        INetFwRule* rawRule = nullptr;
        if (item.vt == VT_DISPATCH && item.pdispVal != nullptr)
            item.pdispVal->QueryInterface(__uuidof(INetFwRule), reinterpret_cast<void**>(&rawRule));
        VariantClear(&item);
        ComPtr<INetFwRule> rule(rawRule);
        if (!rule)
            continue;
        BSTR application = nullptr;
        rule->get_ApplicationName(&application);
        const bool ours = application != nullptr && Lower(application) == program;
        SysFreeString(application);
        VARIANT_BOOL enabled = VARIANT_FALSE;
        NET_FW_RULE_DIRECTION direction{};
        long profiles = 0, protocol = 0;
        NET_FW_ACTION action{};
        if (!ours || FAILED(rule->get_Enabled(&enabled)) || enabled == VARIANT_FALSE ||
            FAILED(rule->get_Direction(&direction)) || direction != NET_FW_RULE_DIR_IN ||
            FAILED(rule->get_Profiles(&profiles)) || (profiles & wanted) == 0 ||
            FAILED(rule->get_Protocol(&protocol)) ||
            (protocol != NET_FW_IP_PROTOCOL_UDP && protocol != kAnyProtocol) ||
            FAILED(rule->get_Action(&action)))
            continue;
        BSTR name = nullptr;
        rule->get_Name(&name);
        profile.rules.push_back(
            {name != nullptr ? WideToUtf8(name) : "", action == NET_FW_ACTION_ALLOW});
        SysFreeString(name);
    }
}

} // namespace

std::optional<NetworkProfile> ReadNetworkProfile(const std::string& adapterName) {
    NetworkProfile profile;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ReadCategory(adapterName, profile);
    ReadFirewall(profile);
    if (SUCCEEDED(init))
        CoUninitialize();
    return profile;
}

#else

std::optional<NetworkProfile> ReadNetworkProfile(const std::string&) {
    return std::nullopt;
}

#endif

} // namespace platform
