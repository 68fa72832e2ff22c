// Throughput of the JSON codec on the two texts the uploader handles, each beside nlohmann::json
// doing the same work on the same input in the same run. Goal: at least half of its throughput.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "json/JSONDeserializer.h"
#include "json/JSONSerializer.h"

namespace {

constexpr std::size_t kBookListBytes = 10'000'000;
constexpr int kManifestKeys = 20'000;
// An escape and some two-byte characters in every fifth title.
constexpr const char* kEditionSuffix =
    " \\u2014 \xC3\xA9"
    "dition illustr\xC3\xA9"
    "e";

std::string guid(unsigned seed) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012X", seed * 2654435761U, seed % 65521U,
                  (seed * 7U) % 65521U, (seed * 13U) % 65521U, seed * 40503U);
    return text;
}

// The answer of the list endpoint: an array of book records, each with a title, a book id and
// the uploads of the book, at least kBookListBytes long.
const std::string& bookList() {
    static const std::string text = [] {
        std::string out = "[";
        for (unsigned book = 0; out.size() < kBookListBytes; ++book) {
            out += book == 0 ? "" : ",";
            out += R"({"title":"Tides of the North, volume )" + std::to_string(book);
            out += book % 5 == 0 ? kEditionSuffix : "";
            out += R"(","book_id":)" + std::to_string(100000 + book) + R"(,"downloads":[)";
            for (unsigned download = 0; download < book % 4; ++download) {
                out += download == 0 ? "" : ",";
                out += R"({"guid":")" + guid(book * 4 + download) + R"(","created":"2011-03-04T05:06:07Z"})";
            }
            out += "]}";
        }
        return out + "]";
    }();
    return text;
}

std::string manifestKey(int i) {
    return "/OPS/assets/images/figure-" + std::to_string(i) + ".png.part00000";
}
std::string fingerprint(int i) {
    std::string hex;
    for (int j = 0; j < 5; ++j) {
        char word[9];
        std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(i * 2654435761U + j * 40503U));
        hex += word;
    }
    return hex + "_" + std::to_string(1000 + i * 7 % 1024000);
}

void decodeTomely(benchmark::State& state) {
    const std::string& text = bookList();
    for (auto _ : state) {
        std::optional<tomely::JSONValue> value = tomely::JSONDeserializer::deserializer().deserialize(text);
        if (!value || value->asArray()->empty()) {
            state.SkipWithError("the book list did not decode");
        }
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void decodeNlohmann(benchmark::State& state) {
    const std::string& text = bookList();
    for (auto _ : state) {
        nlohmann::json value = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void encodeTomely(benchmark::State& state) {
    tomely::JSONDictionary hashes;
    for (int i = 0; i < kManifestKeys; ++i) {
        hashes.emplace(manifestKey(i), fingerprint(i));
    }
    const tomely::JSONDictionary manifest{
        {"hashes", std::move(hashes)}, {"bookGUID", guid(7)}, {"format", "iba"}, {"bookName", "Tides of the North"}};
    std::size_t written = 0;
    for (auto _ : state) {
        std::optional<std::string> text = tomely::JSONSerializer::serializer().serializeDictionary(manifest);
        written = text->size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

void encodeNlohmann(benchmark::State& state) {
    nlohmann::json manifest = nlohmann::json::object();
    nlohmann::json& hashes = manifest["hashes"] = nlohmann::json::object();
    for (int i = 0; i < kManifestKeys; ++i) {
        hashes[manifestKey(i)] = fingerprint(i);
    }
    manifest["bookGUID"] = guid(7);
    manifest["format"] = "iba";
    manifest["bookName"] = "Tides of the North";
    std::size_t written = 0;
    for (auto _ : state) {
        std::string text = manifest.dump();
        written = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

}  // namespace

BENCHMARK(decodeTomely)->Name("decode_book_list_10MB/tomely")->Unit(benchmark::kMillisecond);
BENCHMARK(decodeNlohmann)->Name("decode_book_list_10MB/nlohmann")->Unit(benchmark::kMillisecond);
BENCHMARK(encodeTomely)->Name("encode_manifest_20000_keys/tomely")->Unit(benchmark::kMillisecond);
BENCHMARK(encodeNlohmann)->Name("encode_manifest_20000_keys/nlohmann")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
