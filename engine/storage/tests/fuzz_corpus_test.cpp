// Seed inputs of the storage fuzz targets, made by the engine's own writers
// so that the fuzzers start from files that get past every header. The test
// builds them and checks what each target needs (memo and blob files of at
// least two blocks, so a chain exists). With ZET_WRITE_FUZZ_CORPUS set to the
// source tree, it also writes them to the fuzz/corpus/<target>/ folders:
//   ZET_WRITE_FUZZ_CORPUS=$PWD build/test/engine/storage/storage_tests --gtest_filter='FuzzCorpus*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/storage/btrees.h"
#include "engine/storage/recordguard.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace editing_test;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes LittleEndian(int32_t value) {
  Bytes raw(4);
  bytes::PutI32(raw.data(), value);
  return raw;
}

Bytes WithMode(uint8_t mode, const Bytes& file) {
  Bytes input{mode};
  input.insert(input.end(), file.begin(), file.end());
  return input;
}

class FuzzCorpus : public zettest::EngineTest {
 protected:
  // Seeds per target: name -> bytes.
  std::map<std::string, std::map<std::string, Bytes>> seeds_;

  // A table INPUT.DAT as the table target names its files: auto number,
  // unique code, a text index (INPUT.IND), memos.
  std::string MakeTable() {
    const std::string path =
        CreateArticles(TempPath("INPUT.DAT"), kTableKey, {{"INPUT.IND", kName, kNameLength + 1, Common::kTypeString}});
    const int h = OpenArticles(path);
    EXPECT_GT(h, 0);
    TZetTable& table = *ZetTable::Table(h);
    for (int i = 1; i <= 30; ++i) {
      table.recordBuffer.assign(table.recordLength, 0);
      EXPECT_EQ(Zet01::AssignAutoNumber(h), 0);
      Article a{0, int16_t(i), "Name " + std::to_string(i * 7 % 30), int16_t(i)};
      if (i % 3 == 0) {
        const std::string memo = "Notiz " + std::to_string(i) + std::string(size_t(i) * 20, 'x');
        EXPECT_EQ(WINMEMOS::InitPutMemo(table.memoFile), 0);
        WINMEMOS::PutMemoBlock(int32_t(memo.size()), memo.data());
        a.notiz = WINMEMOS::DonePutMemo(table.memoFile, 0);
      }
      PutArticle(h, a);
      EXPECT_EQ(Zet01::AppendRecord(h, true, 0), 0);
    }
    // A delete and an update leave freed chains and a reused block behind.
    table.currentRecord = 3;
    EXPECT_EQ(Zet01::DeleteRecord(h, true, false, 0), 0);
    CloseArticles(h);
    return path;
  }

  void Add(const std::string& target, const std::string& name, const Bytes& input) { seeds_[target][name] = input; }

  // An input of the table target: the files (name code -> path), the table
  // file first.
  static Bytes TableInput(const std::map<uint8_t, fs::path>& files) {
    std::map<uint8_t, Bytes> contents;
    for (const auto& [code, path] : files) {
      contents[code] = FileBytes(path);
      EXPECT_FALSE(contents[code].empty()) << path;
    }
    return TableInput(contents);
  }
  static Bytes TableInput(const std::map<uint8_t, Bytes>& files) {
    Bytes input;
    for (const auto& [code, file] : files) {
      input.push_back(code);
      uint8_t length[4];
      bytes::PutU32(length, uint32_t(file.size()));
      input.insert(input.end(), length, length + 4);
      input.insert(input.end(), file.begin(), file.end());
    }
    return input;
  }

  // The table target with a guard file: a table in folder dir whose record
  // crossing a page boundary was just updated, its files taken before the
  // close removes the guard file.
  Bytes TableWithGuard(const fs::path& dir) {
    fs::create_directory(dir);
    const std::string path = CreateArticles((dir / "INPUT.DAT").string(), kTableKey, {});
    const int h = OpenArticles(path);
    EXPECT_GT(h, 0);
    TZetTable& table = *ZetTable::Table(h);
    uint32_t crossing = 0;
    for (int i = 1; crossing == 0 && i < 1000; ++i) {
      table.recordBuffer.assign(table.recordLength, 0);
      EXPECT_EQ(Zet01::AssignAutoNumber(h), 0);
      PutArticle(h, Article{0, int16_t(i), "Name " + std::to_string(i % 30), int16_t(i)});
      EXPECT_EQ(Zet01::AppendRecord(h, true, 0), 0);
      if (LastRecordCrossesPage(table)) crossing = uint32_t(table.recordCount);
    }
    table.currentRecord = crossing;
    EXPECT_EQ(Zet01::ReadRecord(h, crossing), 0);
    const Bytes old = table.recordBuffer;
    Article a = ArticleOf(table, old.data());
    a.menge = -1;
    PutArticle(h, a);
    bool changed = false;
    EXPECT_EQ(Zet01::UpdateRecord(h, old.data(), changed, 0, true, false), 0);
    const Bytes input = TableInput({{0, dir / "INPUT.DAT"}, {1, dir / "INPUT.MMO"}, {2, dir / "INPUT.BLB"},
                                    {3, dir / "INPUT.INR"}, {4, dir / "INPUT.ID"},
                                    {7, dir / RecordGuard::GuardPath("INPUT.DAT")}});
    CloseArticles(h);
    return input;
  }
};

TEST_F(FuzzCorpus, SeedsComeFromTheEngineWriters) {
  Zet00::SetIndexPageSize(Zet00::kMinIndexPageSize);
  MakeTable();
  const std::map<uint8_t, std::string> tableFileNames = {{0, "INPUT.DAT"}, {1, "INPUT.MMO"}, {2, "INPUT.BLB"},
                                                     {3, "INPUT.INR"}, {4, "INPUT.ID"},  {6, "INPUT.IND"}};
  // The table target: every file of the table, the table file first.
  std::map<uint8_t, fs::path> tableFiles;
  for (const auto& [code, name] : tableFileNames) tableFiles[code] = TempPath(name);
  Add("table_fuzz", "articles", TableInput(tableFiles));
  Add("table_fuzz", "guarded_record", TableWithGuard(TempDir() / "guarded"));

  // Damaged headers, as a machine that stopped or a disk that failed leaves
  // them: each a file our writers made with one thing in it changed.
  const Bytes table = FileBytes(TempPath("INPUT.DAT"));
  const Bytes textIndex = FileBytes(TempPath("INPUT.IND"));
  const uint16_t version = bytes::GetU16(table.data() + 4);  // behind the magic number
  const size_t count = Zet00::RecordCountPosition(version);
  const size_t typeOfFieldOne = Zet00::DescriptorPosition(version) + ZetTable::kDescType;
  const size_t indexHeader = BTREES::kUserHeaderOffset;
  uint8_t unknownPart[ZetTable::kKeyDescriptionSize];
  std::memcpy(unknownPart, textIndex.data() + indexHeader, sizeof unknownPart);
  Zet00::SetKeyPart(unknownPart, 0, {kName, kNameLength + 1, 0x0F});
  const struct Damage {
    const char* name;
    bool index;  // in the text index, else in the table file
    size_t at;   // where the bytes go (past the end: the file is cut there)
    Bytes with;
  } damages[] = {
      {"count_beyond_file", false, count, LittleEndian(1000000)},
      {"count_negative", false, count, LittleEndian(-5)},
      {"record_length_zero", false, count + 4, {0, 0}},
      {"no_fields", false, count + 6, {0, 0}},
      {"too_many_fields", false, count + 6, {0xE9, 0x03}},
      {"unknown_field_type", false, typeOfFieldOne, {0x0F}},
      {"cut_in_descriptors", false, typeOfFieldOne + ZetTable::kDescriptorSize, {}},
      {"index_unsettled", true, indexHeader + ZetTable::kIdxRecordCount, LittleEndian(Zet00::kUnsettledCount)},
      {"index_unknown_part", true, indexHeader, Bytes(unknownPart, unknownPart + sizeof unknownPart)},
      {"index_key_length", true, indexHeader + ZetTable::kIdxKeyLength, {3, 0}},
      {"index_tree_height", true, BTREES::kHeaderHeight, {0xFF, 0x7F}},
      {"index_page_count", true, BTREES::kHeaderPageCount, {0xFF, 0xFF}},
      {"index_cut", true, textIndex.size() / 2, {}},
  };
  for (const Damage& d : damages) {
    Bytes file = d.index ? textIndex : table;
    if (d.with.empty()) file.resize(d.at);
    else std::copy(d.with.begin(), d.with.end(), file.begin() + std::ptrdiff_t(d.at));
    std::map<uint8_t, Bytes> files;
    for (const auto& [code, name] : tableFileNames) files[code] = FileBytes(TempPath(name));
    files[d.index ? 6 : 0] = file;
    Add("table_fuzz", std::string("damaged_") + d.name, TableInput(files));
    if (d.index) Add("index_fuzz", std::string("damaged_") + d.name, WithMode(1, file));
    else Add("tableheader_fuzz", std::string("damaged_") + d.name, file);
  }
  Add("tableheader_fuzz", "articles", table);

  // The index target: plain and engine comparison.
  Add("index_fuzz", "text_index_engine", WithMode(1, FileBytes(TempPath("INPUT.IND"))));
  Add("index_fuzz", "text_index_plain", WithMode(0, FileBytes(TempPath("INPUT.IND"))));
  Add("index_fuzz", "number_index_engine", WithMode(1, FileBytes(TempPath("INPUT.INR"))));
  Add("index_fuzz", "unique_index_engine", WithMode(1, FileBytes(TempPath("INPUT.ID"))));

  // Memo chains: the table's (32-bit links, scrambled with the table key is
  // not what the target reads, so a file of its own) and a 16-bit plain one.
  for (const auto& [mode, linkSize, key] : {std::tuple{uint8_t(3), WINMEMOS::kLinkSize32, 0x1234ABCDu},
                                            std::tuple{uint8_t(0), WINMEMOS::kLinkSize16, 0u}}) {
    const std::string name = TempPath("SEED" + std::to_string(mode) + ".MMO");
    ASSERT_EQ(WINMEMOS::CreateMemoFile(name, key, linkSize), 0);
    WINMEMOS::TMemoFile f;
    ASSERT_EQ(WINMEMOS::OpenMemoFile(f, name, LOWFILES::kModeReadWriteShared, key, linkSize, false), 0);
    std::vector<uint32_t> firsts;
    for (int i = 0; i < 5; ++i) {
      const std::string text = "Zeile " + std::to_string(i) + "\r" + std::string(size_t(90 * i), 'm');
      ASSERT_EQ(WINMEMOS::InitPutMemo(f), 0);
      WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data());
      firsts.push_back(WINMEMOS::DonePutMemo(f, 0));
    }
    WINMEMOS::DeleteMemo(f, firsts[2]);
    WINMEMOS::CloseMemoFile(f);
    Add("memo_chain_fuzz", "memos_mode" + std::to_string(mode), WithMode(mode, FileBytes(name)));
  }
  // Blob chains: scrambled with the key the target reads with (mode 1).
  {
    const std::string name = TempPath("SEED.BLB");
    ASSERT_EQ(WinBlobs::CreateBlobFile(name, 0x5EED1234u), 0);
    WinBlobs::TBlobFile f;
    ASSERT_EQ(WinBlobs::OpenBlobFile(f, name, LOWFILES::kModeReadWriteShared, 0x5EED1234u), 0);
    for (int i = 0; i < 4; ++i) {
      const Bytes data(size_t(300 * i + 20), uint8_t('a' + i));
      ASSERT_EQ(WinBlobs::InitPutBlob(f, 0), 0);
      WinBlobs::PutBlobBlock(int32_t(data.size()), data.data());
      WinBlobs::DonePutBlob();
    }
    WinBlobs::PutBlobFileLink(f, 0, "BILD.BMP", 0);
    WinBlobs::CloseBlobFile(f);
    Add("blob_chain_fuzz", "blobs_scrambled", WithMode(1, FileBytes(name)));
  }

  // Queries and link definitions are texts.
  for (const char* q : {",+-Haus,Garten+Baum", ",+-(Beh*,-Behindert)+M?ller", "&|!a&(b|c)!d", ",+-((((a))))"})
    Add("fulltext_query_fuzz", "query" + std::to_string(seeds_["fulltext_query_fuzz"].size()), Text(q));
  for (const char* d : {"INPUT[NAME]=KUNDEN[NR]", "INPUT.CODE=INPUT.NR", "$INPUT[NAME]=INPUT[CODE],ALIAS=INPUT,INPUT"})
    Add("linkdef_fuzz", "link" + std::to_string(seeds_["linkdef_fuzz"].size()), Text(d));

  for (const char* target : {"memo_chain_fuzz", "blob_chain_fuzz"})
    for (const auto& [name, input] : seeds_[target]) EXPECT_GE(input.size(), 513u) << target << " " << name;

  const char* root = std::getenv("ZET_WRITE_FUZZ_CORPUS");
  if (!root) return;
  for (const auto& [target, inputs] : seeds_) {
    const fs::path dir = fs::path(root) / "engine/storage" /
                         (target == "fulltext_query_fuzz" ? "fulltext/fuzz/corpus" : "fuzz/corpus") / target;
    fs::create_directories(dir);
    for (const auto& [name, input] : inputs) {
      std::ofstream out(dir / name, std::ios::binary);
      out.write(reinterpret_cast<const char*>(input.data()), std::streamsize(input.size()));
    }
  }
}

}  // namespace
