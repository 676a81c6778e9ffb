#include "fleet/run/doctor_findings.h"

#include "fleet/run/sweep_scope.h"

namespace fleet {

namespace {

std::string Number(std::size_t n) {
    return std::to_string(n);
}

DoctorCheck Make(std::string check, std::string subject, Verdict verdict, std::string zh,
                 std::string en) {
    return DoctorCheck{std::move(check), std::move(subject), verdict,
                       std::move(zh),    std::move(en),      nlohmann::json::object()};
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "ok";
    case Verdict::Problem:
        return "problem";
    case Verdict::Unknown:
        return "unknown";
    }
    return "unknown";
}

const char* VerdictLabel(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "[正常 ok]";
    case Verdict::Problem:
        return "[问题 problem]";
    case Verdict::Unknown:
        return "[无法判断 unknown]";
    }
    return "";
}

std::string AdapterLabel(const platform::NetworkAdapter& adapter) {
    return adapter.name + " (" + adapter.address + "/" + std::to_string(adapter.prefixLength) + ")";
}

bool SelfAssigned(const std::string& address) {
    return address.rfind("169.254.", 0) == 0;
}

DoctorCheck AdapterStateCheck(const AdapterFacts& facts) {
    if (!facts.adapter) {
        auto check = Make("adapter", facts.name, Verdict::Problem,
                          "网卡 " + facts.name +
                              "：未启用，或没有 IPv4 地址（可用的网卡见 collector-fleet "
                              "interfaces）",
                          "adapter " + facts.name +
                              ": not up, or without an IPv4 address (see: collector-fleet "
                              "interfaces)");
        check.facts = {{"up", false}};
        return check;
    }
    const auto& adapter = *facts.adapter;
    const auto scope = SweepScope::Of(adapter.address, adapter.prefixLength);
    const std::string subnet = scope ? scope->Subnet() : "";
    const std::string label = AdapterLabel(adapter);
    DoctorCheck check;
    if (adapter.loopback)
        check = Make("adapter", adapter.name, Verdict::Problem,
                     "网卡 " + label + " 是本机回环网卡，上面不会有采集器：请选连着采集器的网卡",
                     "adapter " + label +
                         " is the loopback: no collector is on it; choose the adapter cabled to "
                         "the collectors");
    else if (!adapter.running)
        check =
            Make("adapter", adapter.name, Verdict::Problem,
                 "网卡 " + label + " 已启用但没有连接：请检查网线是否插好、交换机或采集器是否通电",
                 "adapter " + label +
                     " is up but has no link: check the cable and that the switch or the "
                     "collectors are powered");
    else if (SelfAssigned(adapter.address))
        check =
            Make("adapter", adapter.name, Verdict::Problem,
                 "网卡 " + label +
                     " 只有自动分配的地址（169.254，没有 DHCP 服务器应答）：请给网卡设置与采集器"
                     "同一网段的固定地址",
                 "adapter " + label +
                     " has only a self-assigned address (169.254/16: no DHCP server "
                     "answered): give the adapter a fixed address in the collectors' subnet");
    else
        check = Make("adapter", adapter.name, Verdict::Ok,
                     "网卡 " + label + "：已启用，已连接，搜索网段 " + subnet,
                     "adapter " + label + ": up, link, sweeps " + subnet);
    check.facts = {{"up", true},
                   {"link", adapter.running},
                   {"address", adapter.address},
                   {"prefix_length", adapter.prefixLength},
                   {"loopback", adapter.loopback},
                   {"self_assigned", SelfAssigned(adapter.address)},
                   {"subnet", subnet}};
    return check;
}

const char* CategoryZh(const std::string& category) {
    if (category == "public")
        return "公用网络";
    if (category == "private")
        return "专用网络";
    return "域网络";
}

DoctorCheck CategoryCheck(const std::string& name, const platform::NetworkProfile& profile) {
    DoctorCheck check;
    if (profile.category.empty())
        check = Make("network_category", name, Verdict::Unknown,
                     "网卡 " + name + " 所在网络的类别无法读取（" + profile.categoryError + "）",
                     "adapter " + name + ": the network category could not be read (" +
                         profile.categoryError + ")");
    else
        check = Make(
            "network_category", name, Verdict::Ok,
            "网卡 " + name + " 所在网络" +
                (profile.network.empty() ? "" : "“" + profile.network + "”") + "是" +
                CategoryZh(profile.category) +
                (profile.category == "public"
                     ? "（没有网关的采集器网络都是这样）：防火墙按“公用”配置放行"
                     : "：防火墙按“" + std::string(CategoryZh(profile.category)) + "”配置放行"),
            "adapter " + name + ": network " +
                (profile.network.empty() ? "" : "\"" + profile.network + "\" ") + "is " +
                profile.category + "; the firewall applies its " + profile.category + " profile");
    check.facts = {{"category", profile.category}, {"network", profile.network}};
    if (!profile.categoryError.empty())
        check.facts["error"] = profile.categoryError;
    return check;
}

DoctorCheck FirewallCheck(const std::string& name, const platform::NetworkProfile& profile) {
    const std::string where = profile.category.empty() ? std::string("public") : profile.category;
    const std::string whereZh = CategoryZh(where);
    DoctorCheck check;
    const platform::FirewallRule* block = nullptr;
    const platform::FirewallRule* allow = nullptr;
    for (const auto& rule : profile.rules)
        if (rule.allow && allow == nullptr)
            allow = &rule;
        else if (!rule.allow && block == nullptr)
            block = &rule;
    if (!profile.rulesRead)
        check = Make("firewall", name, Verdict::Unknown,
                     "防火墙的规则无法读取（" + profile.firewallError + "）",
                     "the firewall's rules could not be read (" + profile.firewallError + ")");
    else if (profile.firewallOn == false)
        check = Make("firewall", name, Verdict::Ok, "防火墙在“" + whereZh + "”配置下已关闭",
                     "the firewall is off on the " + where + " profile");
    else if (block != nullptr)
        check = Make(
            "firewall", name, Verdict::Problem,
            "防火墙有一条阻止本程序的规则“" + block->name +
                "”，它比任何允许规则都优先，采集器的回复进不来。以管理员身份运行：\n"
                "  netsh advfirewall firewall delete rule name=\"" +
                block->name + "\" program=\"" + profile.programPath + "\"",
            "the firewall has a block rule \"" + block->name +
                "\" for this program, which wins over every allow rule: the collectors' replies "
                "are dropped. Run as administrator:\n"
                "  netsh advfirewall firewall delete rule name=\"" +
                block->name + "\" program=\"" + profile.programPath + "\"");
    else if (allow == nullptr)
        check = Make(
            "firewall", name, Verdict::Problem,
            "防火墙在“" + whereZh +
                "”配置下没有放行本程序的规则，采集器的回复进不来。按 README.txt 第二节第 3 "
                "步允许本程序，或以管理员身份运行：\n"
                "  netsh advfirewall firewall add rule name=\"采集器升级 UDP\" dir=in "
                "action=allow protocol=UDP profile=any program=\"" +
                profile.programPath + "\"",
            "the firewall has no rule allowing this program on the " + where +
                " profile: the collectors' replies are dropped. Allow it as README.txt, section "
                "2, step 3 says, or run as administrator:\n"
                "  netsh advfirewall firewall add rule name=\"采集器升级 UDP\" dir=in "
                "action=allow protocol=UDP profile=any program=\"" +
                profile.programPath + "\"");
    else
        check = Make("firewall", name, Verdict::Ok,
                     "防火墙在“" + whereZh + "”配置下有放行本程序的规则“" + allow->name + "”",
                     "the firewall allows this program on the " + where + " profile (rule \"" +
                         allow->name + "\")");
    nlohmann::json rules = nlohmann::json::array();
    for (const auto& rule : profile.rules)
        rules.push_back({{"name", rule.name}, {"action", rule.allow ? "allow" : "block"}});
    check.facts = {{"profile", where}, {"rules", rules}, {"program", profile.programPath}};
    if (profile.firewallOn)
        check.facts["enabled"] = *profile.firewallOn;
    if (!profile.firewallError.empty())
        check.facts["error"] = profile.firewallError;
    return check;
}

DoctorCheck ProbeCheck(const AdapterFacts& facts) {
    if (!facts.probe) {
        auto check = Make("probe_round", facts.name, Verdict::Unknown,
                          "网卡 " + facts.name + " 上没有发出探测：" + facts.probeNotRunZh,
                          "adapter " + facts.name + ": no probe round: " + facts.probeNotRun);
        check.facts = {{"ran", false}};
        return check;
    }
    const ProbeCounts& counts = *facts.probe;
    const std::string zhCounts =
        "发出 " + Number(counts.probes) + " 个探测，收到 " + Number(counts.replies) + " 个应答（" +
        Number(counts.collectors) + " 台采集器），" + Number(counts.malformed) +
        " 个格式不对被丢弃，" + Number(counts.checksumRefused) + " 个校验码不对被拒收";
    const std::string enCounts = Number(counts.probes) + " probes sent, " + Number(counts.replies) +
                                 " replies (" + Number(counts.collectors) + " collectors), " +
                                 Number(counts.malformed) + " dropped as malformed, " +
                                 Number(counts.checksumRefused) + " refused by the checksum";
    DoctorCheck check;
    if (counts.replies == 0)
        check = Make("probe_round", facts.name, Verdict::Problem,
                     "网卡 " + facts.name + " 的探测：" + zhCounts +
                         "。没有采集器应答：请检查采集器的电源和网线，以及它们是否接在这块网卡上",
                     "adapter " + facts.name + " probe round: " + enCounts +
                         ". No collector answered: check that the collectors are powered and "
                         "cabled to this adapter's network");
    else
        check = Make("probe_round", facts.name, Verdict::Ok,
                     "网卡 " + facts.name + " 的探测：" + zhCounts,
                     "adapter " + facts.name + " probe round: " + enCounts);
    check.facts = {{"ran", true},
                   {"probes", counts.probes},
                   {"replies", counts.replies},
                   {"collectors", counts.collectors},
                   {"malformed", counts.malformed},
                   {"checksum_refused", counts.checksumRefused}};
    return check;
}

} // namespace

std::string HoldersText(const platform::PortHolders& holders, bool chinese) {
    std::string text;
    for (const auto& holder : holders.holders) {
        if (!text.empty())
            text += chinese ? "、" : ", ";
        const std::string pid = std::to_string(holder.pid);
        if (holder.name.empty())
            text += chinese ? "进程号 " + pid + " 的程序（程序名无法读取）"
                            : "the program with pid " + pid + " (its name could not be read)";
        else
            text += chinese ? holder.name + "（进程号 " + pid + "）"
                            : holder.name + " (pid " + pid + ")";
    }
    if (!holders.error.empty())
        return chinese ? "无法查明的程序（" + holders.error + "）"
                       : "a program that could not be found (" + holders.error + ")";
    if (holders.unowned > 0 || text.empty()) {
        if (!text.empty())
            text += chinese ? "，以及" : ", and ";
        text += chinese ? "一个无法查明的程序（查看其他用户的程序需要管理员或 root 权限）"
                        : "a program that could not be identified (seeing other users' "
                          "programs needs administrator or root rights)";
    }
    return text;
}

std::string PortHeldByText(std::uint16_t port, const platform::PortHolders& holders) {
    const std::string number = std::to_string(port);
    return "占用端口 " + number + " 的是：" + HoldersText(holders, true) + "\nport " + number +
           " is held by " + HoldersText(holders, false);
}

DoctorCheck PortCheck(const PortFacts& facts) {
    const std::string number = std::to_string(facts.port);
    DoctorCheck check;
    if (facts.bindable)
        check = Make("port", number, Verdict::Ok, "端口 " + number + "：可以使用",
                     "port " + number + ": free, can be bound");
    else if (facts.inUse)
        check = Make("port", number, Verdict::Problem,
                     "端口 " + number + " 已被占用：" + HoldersText(facts.holders, true) +
                         "。请关闭该程序后再试",
                     "port " + number + " is held by " + HoldersText(facts.holders, false) +
                         ". Close that program and try again");
    else
        check = Make("port", number, Verdict::Problem,
                     "端口 " + number + " 无法打开：" + facts.bindError,
                     "port " + number + " cannot be bound: " + facts.bindError);
    nlohmann::json holders = nlohmann::json::array();
    for (const auto& holder : facts.holders.holders)
        holders.push_back({{"pid", holder.pid}, {"name", holder.name}});
    check.facts = {{"bindable", facts.bindable}, {"holders", holders}};
    if (!facts.bindError.empty())
        check.facts["error"] = facts.bindError;
    if (facts.holders.unowned > 0)
        check.facts["unidentified_holders"] = facts.holders.unowned;
    if (!facts.holders.error.empty())
        check.facts["holders_error"] = facts.holders.error;
    return check;
}

std::vector<DoctorCheck> AdapterChecks(const AdapterFacts& facts) {
    std::vector<DoctorCheck> checks{AdapterStateCheck(facts)};
    if (facts.profile) {
        checks.push_back(CategoryCheck(facts.name, *facts.profile));
        checks.push_back(FirewallCheck(facts.name, *facts.profile));
    }
    checks.push_back(ProbeCheck(facts));
    return checks;
}

std::string FindingsText(const std::vector<DoctorCheck>& checks) {
    std::string text;
    for (const auto& check : checks)
        text +=
            std::string(VerdictLabel(check.verdict)) + " " + check.zh + "\n    " + check.en + "\n";
    return text;
}

std::string FindingsTextZh(const std::vector<DoctorCheck>& checks, const std::string& separator) {
    std::string text;
    for (const auto& check : checks)
        if (check.verdict != Verdict::Ok)
            text += (text.empty() ? "" : separator) + check.zh;
    return text;
}

nlohmann::json FindingsJson(const std::vector<DoctorCheck>& checks) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& check : checks) {
        nlohmann::json object = {{"check", check.check},
                                 {"subject", check.subject},
                                 {"verdict", VerdictName(check.verdict)},
                                 {"zh", check.zh},
                                 {"en", check.en}};
        object.update(check.facts);
        list.push_back(std::move(object));
    }
    return list;
}

bool NothingWrong(const std::vector<DoctorCheck>& checks) {
    for (const auto& check : checks)
        if (check.verdict == Verdict::Problem)
            return false;
    return true;
}

} // namespace fleet
