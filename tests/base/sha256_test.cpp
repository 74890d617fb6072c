// SHA-256 against the standard's test vectors, fed whole and in uneven pieces.
#include "base/int_text.h"
#include "base/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace torvel {
namespace {

TEST(Sha256, StandardVectorsInAnyPieces) {
  const std::pair<std::string, std::string> Rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto &[Text, Digest] : Rows) {
    SCOPED_TRACE(Text.substr(0, 60));
    const auto *Bytes = reinterpret_cast<const std::uint8_t *>(Text.data());
    for (std::size_t Piece : {std::size_t(1000000), std::size_t(1), std::size_t(63),
                              std::size_t(65)}) {
      Sha256 Hash;
      for (std::size_t At = 0; At < Text.size(); At += Piece)
        Hash.update(std::span(Bytes + At, std::min(Piece, Text.size() - At)));
      EXPECT_EQ(lowerHex(Hash.finish()), Digest);
    }
  }
}

} // namespace
} // namespace torvel
