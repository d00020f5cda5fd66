#include "network/NetworkSettings.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <string>

namespace vx {
namespace {

bool IsIpAddress(std::string_view text) {
    const std::string copy(text);
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, copy.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, copy.c_str(), buffer) == 1;
}

bool IsLabel(std::string_view label) {
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
        return false;
    }
    for (const char c : label) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') {
            return false;
        }
    }
    return true;
}

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (!IsPortNumber(value)) {
        return false;
    }
    port = value;
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || HexValue(text[i + 1]) < 0 || HexValue(text[i + 2]) < 0) {
            return false;
        }
        out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
        i += 2;
    }
    return true;
}

}  // namespace

bool IsHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) {
        return false;
    }
    if (IsIpAddress(host)) {
        return true;
    }
    if (host.back() == '.') {
        host.remove_suffix(1);  // a fully qualified name may end in a dot
    }
    std::size_t begin = 0;
    for (;;) {
        const std::size_t dot = host.find('.', begin);
        const std::string_view label = host.substr(
            begin, dot == std::string_view::npos ? std::string_view::npos : dot - begin);
        if (!IsLabel(label)) {
            return false;
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        begin = dot + 1;
    }
}

bool IsListenAddress(std::string_view address) {
    return address == "localhost" || IsIpAddress(address);
}

bool IsPortNumber(int port) {
    return port >= 1 && port <= 65535;
}

std::string CheckTopicPrefix(std::string_view prefix) {
    if (prefix.empty()) {
        return "The topic prefix is empty.";
    }
    if (prefix.find_first_of("+#") != std::string_view::npos) {
        return "A topic prefix may not contain \"+\" or \"#\".";
    }
    if (prefix.front() == '$') {
        return "A topic prefix may not begin with \"$\": brokers keep those topics for "
               "themselves.";
    }
    for (const char c : prefix) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) {
            return "A topic prefix may not contain control characters.";
        }
    }
    const std::string copy(prefix);
    if (mosquitto_validate_utf8(copy.c_str(), static_cast<int>(copy.size())) != MOSQ_ERR_SUCCESS) {
        return "The topic prefix is not valid UTF-8 text.";
    }
    if (prefix.size() > 1000) {
        return "The topic prefix is too long.";
    }
    return {};
}

std::string TopicLevel(std::string_view name) {
    std::string level;
    for (const char c : name) {
        const bool control = static_cast<unsigned char>(c) < 32 || c == 127;
        level += (c == '/' || c == '+' || c == '#' || control) ? '_' : c;
    }
    return level.empty() ? "connection" : level;
}

std::string StationName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "station";
    }
    return name;
}

std::string DefaultTopicPrefix(std::string_view station) {
    return "ventrix/" + TopicLevel(station);
}

std::string EffectiveTopicPrefix(const BrokerSettings& broker, std::string_view station) {
    std::string prefix =
        broker.topicPrefix.empty() ? DefaultTopicPrefix(station) : broker.topicPrefix;
    while (prefix.size() > 1 && prefix.back() == '/') {
        prefix.pop_back();
    }
    return prefix;
}

bool ParseHostPort(std::string_view text, const std::string& defaultHost, std::string& host,
                   int& port, std::string& error) {
    std::string_view hostPart;
    std::string_view portPart;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = "expected [ADDRESS]:PORT: " + std::string(text);
            return false;
        }
        hostPart = text.substr(1, close - 1);
        portPart = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        hostPart = text.substr(0, colon);
        portPart = text.substr(colon + 1);
        if (hostPart.find(':') != std::string_view::npos) {
            error = "write an IPv6 address in brackets, [ADDRESS]:PORT: " + std::string(text);
            return false;
        }
    } else if (!defaultHost.empty()) {
        hostPart = defaultHost;
        portPart = text;
    } else {
        error = "expected HOST:PORT: " + std::string(text);
        return false;
    }
    if (!IsHostName(hostPart)) {
        error = "\"" + std::string(hostPart) + "\" is not a host name or address";
        return false;
    }
    if (!ParsePort(portPart, port)) {
        error = "the port must be a number from 1 to 65535: " + std::string(portPart);
        return false;
    }
    host = std::string(hostPart);
    return true;
}

bool ParseMqttUrl(std::string_view url, BrokerSettings& broker, std::string& error) {
    BrokerSettings parsed = broker;
    std::string_view rest;
    if (url.substr(0, 7) == "mqtt://") {
        parsed.tls = false;
        parsed.port = kMqttDefaultPort;
        rest = url.substr(7);
    } else if (url.substr(0, 8) == "mqtts://") {
        parsed.tls = true;
        parsed.port = kMqttTlsDefaultPort;
        rest = url.substr(8);
    } else {
        error = "an MQTT broker is named mqtt://HOST[:PORT][/PREFIX] or mqtts://...: " +
                std::string(url);
        return false;
    }
    std::string_view authority = rest.substr(0, rest.find('/'));
    const std::string_view path =
        authority.size() < rest.size() ? rest.substr(authority.size() + 1) : std::string_view();
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        if (!PercentDecode(userInfo.substr(0, colon), parsed.user) ||
            (colon != std::string_view::npos &&
             !PercentDecode(userInfo.substr(colon + 1), parsed.password))) {
            error = "bad percent sign in the user or password of " + std::string(url);
            return false;
        }
        authority = authority.substr(at + 1);
    }
    const bool hasPort = !authority.empty() &&
                         (authority.front() == '[' ? authority.find("]:") != std::string_view::npos
                                                   : authority.find(':') != std::string_view::npos);
    if (hasPort) {
        if (!ParseHostPort(authority, {}, parsed.host, parsed.port, error)) {
            return false;
        }
    } else {
        std::string_view host = authority;
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        }
        if (!IsHostName(host)) {
            error = "\"" + std::string(host) + "\" is not a host name or address";
            return false;
        }
        parsed.host = std::string(host);
    }
    if (!path.empty()) {
        std::string prefix;
        if (!PercentDecode(path, prefix)) {
            error = "bad percent sign in the topic prefix of " + std::string(url);
            return false;
        }
        if (const std::string problem = CheckTopicPrefix(prefix); !problem.empty()) {
            error = problem;
            return false;
        }
        parsed.topicPrefix = prefix;
    }
    broker = parsed;
    return true;
}

}  // namespace vx
