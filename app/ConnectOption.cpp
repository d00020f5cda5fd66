#include "app/ConnectOption.h"

#include "connection/OutputFormats.h"
#include "platform/NumberText.h"
#include "platform/SerialDevice.h"

#include <algorithm>
#include <utility>

namespace vx {
namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

// The next field up to a comma; the last field (the name) takes the rest.
std::string_view TakeField(std::string_view& rest, bool last) {
    if (last) {
        return std::exchange(rest, std::string_view());
    }
    const std::size_t comma = rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    return field;
}

std::string ReadPort(std::string_view field, ConnectRequest& request) {
    int number = 0;
    if (field.substr(0, 3) != "COM" || !ParseWholeNumber(std::string(field.substr(3)), number) ||
        number < 1 || number > kMaxPortNumber) {
        return "'" + std::string(field) + "' is not a port: write COM1 to COM" +
               std::to_string(kMaxPortNumber);
    }
    request.comNumber = number;
    return {};
}

std::string ReadBaud(std::string_view field, ConnectRequest& request) {
    if (field.empty()) {
        return {};
    }
    int baud = 0;
    const std::vector<int>& rates = ConnectBaudRates();
    if (!ParseWholeNumber(std::string(field), baud) ||
        std::find(rates.begin(), rates.end(), baud) == rates.end()) {
        std::vector<std::string> names;
        for (int rate : rates) {
            names.push_back(std::to_string(rate));
        }
        return "baud rate '" + std::string(field) + "' is not one of " + Joined(names);
    }
    request.baud = baud;
    return {};
}

std::string ReadFormat(std::string_view field, ConnectRequest& request) {
    if (field.empty()) {
        return {};
    }
    OutputFormatTable table;
    const std::vector<std::string> names = table.FillFormatList().names;
    if (std::find(names.begin(), names.end(), field) == names.end()) {
        return "unknown output format '" + std::string(field) + "' (known: " + Joined(names) + ")";
    }
    request.format = field;
    return {};
}

}  // namespace

std::string ConnectRequest::ShownName() const {
    return name.empty() ? "COM" + std::to_string(comNumber) : name;
}

const std::vector<int>& ConnectBaudRates() {
    static const std::vector<int> rates = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
    return rates;
}

std::string ParseConnectRequest(std::string_view text, ConnectRequest& request) {
    request = ConnectRequest{};
    std::string_view rest = text;
    std::string error = ReadPort(TakeField(rest, false), request);
    if (error.empty()) {
        error = ReadBaud(TakeField(rest, false), request);
    }
    if (error.empty()) {
        error = ReadFormat(TakeField(rest, false), request);
    }
    if (error.empty()) {
        request.name = TakeField(rest, true);
    }
    return error;
}

}  // namespace vx
