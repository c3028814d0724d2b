// The call server's accounts: which extension a terminal gets when it proves
// an account id, auth id and password.
//
// The accounts file holds one account a line: extension, account id, auth id
// and password, separated by blanks. Text after '#' is a comment; blank lines
// are skipped. Extensions are made of the digits 0-9 and '*'.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorpel::callserver {

// Field widths as the terminal stores and hashes them: the characters
// followed by zero bytes up to the width.
inline constexpr size_t ACCOUNT_ID_WIDTH = 23;
inline constexpr size_t AUTH_ID_WIDTH = 23;
inline constexpr size_t PASSWORD_WIDTH = 15;
inline constexpr size_t EXTENSION_MAX = 15;

struct Account {
    std::string extension;
    std::array<uint8_t, ACCOUNT_ID_WIDTH> accountId{};
    std::array<uint8_t, AUTH_ID_WIDTH> authId{};
    std::array<uint8_t, PASSWORD_WIDTH> password{};
};

class AccountTable {
public:
    // Parses the whole text of an accounts file. On failure returns nothing
    // and puts "line N: what is wrong" into error.
    static std::optional<AccountTable> parse(std::string_view text, std::string& error);

    void add(const Account& account) { accounts_.push_back(account); }
    size_t size() const { return accounts_.size(); }
    const Account& at(size_t index) const { return accounts_[index]; }

    // The account whose 23-byte account id field equals the given one.
    std::optional<size_t> findByAccountId(const uint8_t* field) const;
    std::optional<size_t> findByExtension(std::string_view extension) const;
    // True when some extension other than this one begins with it.
    bool isPrefixOfLongerExtension(std::string_view digits) const;

private:
    std::vector<Account> accounts_;
};

// True for a valid extension text: 1 to EXTENSION_MAX characters of 0-9 and '*'.
bool isValidExtension(std::string_view text);

}  // namespace vorpel::callserver
