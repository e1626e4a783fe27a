// show: the market and the players as readable text, or as one JSON document.
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "data/codec.h"
#include "data/records.h"
#include "sysop.h"

namespace {

using nlohmann::json;

constexpr const char* kKindKeys[] = {"options", "common", "preferred", "bonds"};
constexpr const char* kKindTitles[] = {"Options", "Common", "Preferred", "Bonds"};
constexpr const char* kTypeNames[] = {"Speculative", "Mutual Fund", "Blue Chip"};

const char* type_name(int type) {
    return type >= kSpeculative && type <= kBlueChip ? kTypeNames[type] : "unknown type";
}

// What the files hold, read under their locks: the market when whole, the whole player records.
struct Snapshot {
    FileBytes market_file;
    FileBytes player_file;
    bool market_whole = false;
    MarketRecord market{};
    std::vector<PlayerRecord> players;
};

Snapshot take_snapshot() {
    Snapshot snapshot;
    read_game_files(snapshot.market_file, snapshot.player_file);
    const std::string& market = snapshot.market_file.bytes;
    if (snapshot.market_file.readable && market.size() >= static_cast<size_t>(kMarketBytes)) {
        decode_market(reinterpret_cast<const unsigned char*>(market.data()), snapshot.market);
        snapshot.market_whole = true;
    }
    const std::string& players = snapshot.player_file.bytes;
    for (size_t at = 0; at + kPlayerBytes <= players.size(); at += kPlayerBytes) {
        PlayerRecord player{};
        decode_player(reinterpret_cast<const unsigned char*>(players.data() + at), player);
        snapshot.players.push_back(player);
    }
    return snapshot;
}

// ---- JSON ----

json issue_json(const CompanyRecord& company, int k) {
    json prices = json::array();
    for (int day = 0; day < kHistoryDays; ++day) prices.push_back(company.price[k][day]);
    return {{"kind", kKindKeys[k]},
            {"traded", company.total[k] != 0},
            {"total", company.total[k]},
            {"available", company.available[k]},
            {"price", company.price[k][0]},
            {"prices", prices},
            {"initial_price", company.initial_price[k]},
            {"trend", company.trend[k]},
            {"crashed", company.crashed[k]}};
}

json company_json(const CompanyRecord& company, int index) {
    json history = json::array();
    for (const auto& line : company.history) history.push_back(field_text(line, kHistoryLineSize));
    json issues = json::array();
    for (int k = 0; k < kKindCount; ++k) issues.push_back(issue_json(company, k));
    return {{"index", index},
            {"symbol", field_text(company.symbol, kSymbolSize)},
            {"name", field_text(company.name, kNameSize)},
            {"type", company.type},
            {"type_name", type_name(company.type)},
            {"history", history},
            {"issues", issues},
            {"split", company.split},
            {"option_conversion_price", company.option_conversion_price},
            {"split_price", company.split_price},
            {"bond_guaranteed_value", company.bond_guaranteed_value}};
}

json player_json(const PlayerRecord& player, size_t index) {
    json holdings = json::array();
    for (int c = 0; c < kCompanyCount; ++c) {
        const Holding& holding = player.holdings[c];
        json counts = json::object();
        json last_prices = json::object();
        json crashed = json::object();
        for (int k = 0; k < kKindCount; ++k) {
            counts[kKindKeys[k]] = holding.count[k];
            last_prices[kKindKeys[k]] = holding.last_price[k];
            crashed[kKindKeys[k]] = holding.crashed[k];
        }
        holdings.push_back({{"company", c},
                            {"count", counts},
                            {"short_count", holding.short_count},
                            {"short_price", holding.short_price},
                            {"last_price", last_prices},
                            {"crashed", crashed},
                            {"split", holding.split}});
    }
    return {{"record", index},
            {"offset", index * kPlayerBytes},
            {"name", field_text(player.name, kNameSize)},
            {"last_played", field_text(player.last_played, kDateSize)},
            {"last_traded", field_text(player.last_traded, kDateSize)},
            {"seconds_played", player.seconds_played},
            {"times_played", player.times_played},
            {"graphics_mode", player.graphics_mode},
            {"cash", player.cash},
            {"net_worth", player.net_worth},
            {"reserved", player.reserved},
            {"holdings", holdings}};
}

// A file's state for the document: "ok", "missing", "unreadable" or "damaged".
const char* state_of(const FileBytes& file, bool whole) {
    if (!file.exists) return "missing";
    if (!file.readable) return "unreadable";
    if (file.bytes.empty()) return "empty";
    return whole ? "ok" : "damaged";
}

void show_json(const Snapshot& snapshot) {
    json document;
    document["market_file"] = state_of(snapshot.market_file, snapshot.market_whole);
    document["player_file"] =
        state_of(snapshot.player_file, snapshot.player_file.bytes.size() % kPlayerBytes == 0);
    if (snapshot.market_whole) {
        const MarketRecord& market = snapshot.market;
        json companies = json::array();
        for (int c = 0; c < kCompanyCount; ++c) {
            companies.push_back(company_json(market.companies[c], c));
        }
        document["market"] = {{"date", field_text(market.date, kDateSize)},
                              {"general_trend", market.general_trend},
                              {"companies", companies}};
    } else {
        document["market"] = nullptr;
    }
    json players = json::array();
    for (size_t n = 0; n < snapshot.players.size(); ++n) {
        players.push_back(player_json(snapshot.players[n], n));
    }
    document["players"] = players;
    std::printf("%s\n", document.dump(2).c_str());
}

// ---- text ----

void show_company(const CompanyRecord& company) {
    std::printf("%-3s  %-31s  %s\n", field_text(company.symbol, kSymbolSize).c_str(),
                field_text(company.name, kNameSize).c_str(), type_name(company.type));
    for (int k = 0; k < kKindCount; ++k) {
        if (company.total[k] == 0) {
            std::printf("     %-9s  not traded\n", kKindTitles[k]);
            continue;
        }
        std::printf(
            "     %-9s  $%4d.00  trend %d  %10d issued  %10d available  before:", kKindTitles[k],
            company.price[k][0], company.trend[k], company.total[k], company.available[k]);
        for (int day = 1; day < kHistoryDays; ++day) std::printf(" %d", company.price[k][day]);
        std::printf("%s\n", company.crashed[k] ? "  (crashed)" : "");
    }
    std::printf(
        "     Options conversion price $%d.00, split price $%d.00, "
        "bond guaranteed price $%d.00%s\n",
        company.option_conversion_price, company.split_price, company.bond_guaranteed_value,
        company.split ? "  (split)" : "");
}

void show_player(const PlayerRecord& player, size_t index, const Snapshot& snapshot) {
    std::printf("%4zu  %-31s  played %s  traded %s  %5d sessions  cash $%d.00  net worth $%d.00\n",
                index, field_text(player.name, kNameSize).c_str(),
                field_text(player.last_played, kDateSize).c_str(),
                field_text(player.last_traded, kDateSize).c_str(), player.times_played, player.cash,
                player.net_worth);
    std::string holdings;
    for (int c = 0; c < kCompanyCount; ++c) {
        const Holding& holding = player.holdings[c];
        const std::string symbol =
            snapshot.market_whole ? field_text(snapshot.market.companies[c].symbol, kSymbolSize)
                                  : "company " + std::to_string(c);
        for (int k = 0; k < kKindCount; ++k) {
            if (holding.count[k] == 0) continue;
            holdings += "  " + symbol + " " + kKindKeys[k] + " " + std::to_string(holding.count[k]);
        }
        if (holding.short_count != 0) {
            holdings += "  " + symbol + " short " + std::to_string(holding.short_count) + " at $" +
                        std::to_string(holding.short_price);
        }
    }
    if (!holdings.empty()) std::printf("     %s\n", holdings.c_str() + 2);
}

void show_text(const Snapshot& snapshot) {
    const FileBytes& market_file = snapshot.market_file;
    if (!market_file.exists || (market_file.readable && market_file.bytes.empty())) {
        std::printf("%s: %s; the next session starts a fresh exchange.\n", kMarketFile,
                    market_file.exists ? "empty" : "missing");
    } else if (!snapshot.market_whole) {
        std::printf("%s: cannot be shown (%s); \"bullmoor-sysop check\" tells why.\n", kMarketFile,
                    market_file.readable ? "cut short" : "cannot be read");
    } else {
        const MarketRecord& market = snapshot.market;
        std::printf("Market of %s, general trend %d\n\n",
                    field_text(market.date, kDateSize).c_str(), market.general_trend);
        for (const CompanyRecord& company : market.companies) show_company(company);
    }
    std::printf("\n");
    const FileBytes& player_file = snapshot.player_file;
    if (!player_file.exists) {
        std::printf("%s: missing; no players yet.\n", kPlayerFile);
        return;
    }
    if (!player_file.readable) {
        std::printf("%s: cannot be read.\n", kPlayerFile);
        return;
    }
    std::printf("Players: %zu\n", snapshot.players.size());
    for (size_t n = 0; n < snapshot.players.size(); ++n) {
        show_player(snapshot.players[n], n, snapshot);
    }
    if (player_file.bytes.size() % kPlayerBytes != 0) {
        std::printf(
            "(a cut-off record of %zu bytes follows; \"bullmoor-sysop check\" tells more)\n",
            player_file.bytes.size() % kPlayerBytes);
    }
}

}  // namespace

int run_show(bool json) {
    const Snapshot snapshot = take_snapshot();
    if (json) {
        show_json(snapshot);
    } else {
        show_text(snapshot);
    }
    const bool unreadable = (snapshot.market_file.exists && !snapshot.market_file.readable) ||
                            (snapshot.player_file.exists && !snapshot.player_file.readable);
    return unreadable ? kExitFileError : kExitOk;
}
