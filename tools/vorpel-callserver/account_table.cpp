#include "account_table.h"

#include <algorithm>
#include <cstring>

namespace vorpel::callserver {
namespace {

template <size_t N>
bool storeField(std::string_view text, std::array<uint8_t, N>& field) {
    if (text.size() > N) return false;
    field.fill(0);
    std::memcpy(field.data(), text.data(), text.size());
    return true;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

}  // namespace

bool isValidExtension(std::string_view text) {
    if (text.empty() || text.size() > EXTENSION_MAX) return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '*'; });
}

std::optional<AccountTable> AccountTable::parse(std::string_view text, std::string& error) {
    AccountTable table;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        std::vector<std::string_view> words = splitWords(line);
        if (words.empty()) continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (words.size() != 4) {
            error = where + "expected extension, account id, auth id and password";
            return std::nullopt;
        }
        Account account;
        if (!isValidExtension(words[0])) {
            error = where + "extension must be 1 to 15 of the characters 0-9 and *";
            return std::nullopt;
        }
        account.extension = std::string(words[0]);
        if (!storeField(words[1], account.accountId)) {
            error = where + "account id longer than 23 characters";
            return std::nullopt;
        }
        if (!storeField(words[2], account.authId)) {
            error = where + "auth id longer than 23 characters";
            return std::nullopt;
        }
        if (!storeField(words[3], account.password)) {
            error = where + "password longer than 15 characters";
            return std::nullopt;
        }
        if (table.findByExtension(account.extension)) {
            error = where + "extension " + account.extension + " is given twice";
            return std::nullopt;
        }
        if (table.findByAccountId(account.accountId.data())) {
            error = where + "account id " + std::string(words[1]) + " is given twice";
            return std::nullopt;
        }
        table.add(account);
    }
    return table;
}

std::optional<size_t> AccountTable::findByAccountId(const uint8_t* field) const {
    for (size_t i = 0; i < accounts_.size(); ++i) {
        if (std::memcmp(accounts_[i].accountId.data(), field, ACCOUNT_ID_WIDTH) == 0) return i;
    }
    return std::nullopt;
}

std::optional<size_t> AccountTable::findByExtension(std::string_view extension) const {
    for (size_t i = 0; i < accounts_.size(); ++i) {
        if (accounts_[i].extension == extension) return i;
    }
    return std::nullopt;
}

bool AccountTable::isPrefixOfLongerExtension(std::string_view digits) const {
    return std::any_of(accounts_.begin(), accounts_.end(), [&](const Account& a) {
        return a.extension.size() > digits.size() && a.extension.compare(0, digits.size(), digits) == 0;
    });
}

}  // namespace vorpel::callserver
