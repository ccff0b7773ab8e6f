#include <cryptopp/hmac.h>
#include <cryptopp/keccak.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/Hasher.h"

namespace {

enum Entry {
  kCRC32,
  kAdler32,
  kTiger,
  kPanama,
  kWhirlpool,
  kMD2,
  kMD4,
  kMD5,
  kRIPEMD128,
  kRIPEMD160,
  kRIPEMD256,
  kRIPEMD320,
  kSHA1,
  kSHA224,
  kSHA256,
  kSHA384,
  kSHA512,
  kSHA3_224,
  kSHA3_256,
  kSHA3_384,
  kSHA3_512,
  kFIPS_SHA3_224,
  kFIPS_SHA3_256,
  kFIPS_SHA3_384,
  kFIPS_SHA3_512,
  kBLAKE2b512,
  kBLAKE2s256,
  kEntries
};
static_assert(kEntries == kAlgorithmCount, "one vector table entry per catalogue entry");

std::string Hash(UINT entry, const std::string& text, const std::string& key = "", int hmac = 0,
                 int upper = 0) {
  Hasher hasher(entry);
  return hasher.HashString(text, key, hmac, upper);
}

std::string Bytes(size_t n, unsigned char value) {
  return std::string(n, static_cast<char>(value));
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

struct Vector {
  UINT entry;
  std::string message;
  const char* digest;  // lower case
};

// Published vectors: RFC 1319/1320/1321, FIPS 180 examples, the RIPEMD
// authors' pages, NESSIE (Tiger, Whirlpool), the Keccak KAT and the Panama
// reference implementation (both as shipped in the library's test vectors).
const std::vector<Vector>& PublishedVectors() {
  static const std::vector<Vector> vectors = {
      {kCRC32, "123456789", "cbf43926"},
      {kCRC32, "", "00000000"},
      {kCRC32, "abc", "352441c2"},
      {kAdler32, "Wikipedia", "11e60398"},
      {kAdler32, "", "00000001"},
      {kAdler32, "abc", "024d0127"},
      {kTiger, "", "3293ac630c13f0245f92bbb1766e16167a4e58492dde73f3"},
      {kTiger, "abc", "2aab1484e8c158f2bfb8c5ff41b57a525129131c957b5f93"},
      {kTiger, "Tiger", "dd00230799f5009fec6debc838bb6a27df2b9d6f110c7937"},
      {kPanama, "", "aa0cc954d757d7ac7779ca3342334ca471abd47d5952ac91ed837ecd5b16922b"},
      {kPanama, "The quick brown fox jumps over the lazy dog",
       "5f5ca355b90ac622b0aa7e654ef5f27e9e75111415b48b8afe3add1c6b89cba1"},
      {kWhirlpool, "",
       "19fa61d75522a4669b44e39c1d2e1726c530232130d407f89afee0964997f7a73e83be698b288febcf88e3e03c4"
       "f"
       "0757ea8964e59b63d93708b138cc42a66eb3"},
      {kWhirlpool, "abc",
       "4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c7181eebdb6c57e277d0e349571"
       "14cbd6c797fc9d95d8b582d225292076d4eef5"},
      {kMD2, "", "8350e5a3e24c153df2275c9f80692773"},
      {kMD2, "abc", "da853b0d3f88d99b30283a69e6ded6bb"},
      {kMD2, "message digest", "ab4f496bfb2a530b219ff33031fe06b0"},
      {kMD4, "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {kMD4, "abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {kMD4, "message digest", "d9130a8164549fe818874806e1c7014b"},
      {kMD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {kMD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {kMD5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {kRIPEMD128, "", "cdf26213a150dc3ecb610f18f6b38b46"},
      {kRIPEMD128, "abc", "c14a12199c66e4ba84636b0f69144c77"},
      {kRIPEMD160, "", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
      {kRIPEMD160, "abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
      {kRIPEMD256, "", "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
      {kRIPEMD256, "abc", "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
      {kRIPEMD320, "",
       "22d65d5661536cdc75c1fdf5c6de7b41b9f27325ebc61e8557177d705a0ec880151c3a32a00899b8"},
      {kRIPEMD320, "abc",
       "de4c01b3054f8930a79d09ae738e92301e5a17085beffdc1b8d116713e74f82fa942d64cdbc4682d"},
      {kSHA1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {kSHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {kSHA1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {kSHA224, "abc", "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
      {kSHA256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {kSHA256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {kSHA384, "abc",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c"
       "8"
       "25a7"},
      {kSHA512, "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3f"
       "eebbd454d4423643ce80e2a9ac94fa54ca49f"},
      {kSHA3_224, "", "f71837502ba8e10837bdd8d365adb85591895602fc552b48b7390abd"},
      {kSHA3_224, "abc", "c30411768506ebe1c2871b1ee2e87d38df342317300a9b97a95ec6a8"},
      {kSHA3_256, "", "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470"},
      {kSHA3_256, "abc", "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45"},
      {kSHA3_384, "",
       "2c23146a63a29acf99e73b88f8c24eaa7dc60aa771780ccc006afbfa8fe2479b2dd2b21362337441ac12b515911"
       "957ff"},
      {kSHA3_384, "The quick brown fox jumps over the lazy dog",
       "283990fa9d5fb731d786c5bbee94ea4db4910f18c62c03d173fc0a5e494422e8a0b3da7574dae7fa0baf005e504"
       "063b3"},
      {kSHA3_512, "",
       "0eab42de4c3ceb9235fc91acffe746b29c29a8c366b7c60e4e67c466f36a4304c00fa9caf9d87976ba469bcbe06"
       "713b435f091ef2769fb160cdab33d3670680e"},
      {kSHA3_512, "The quick brown fox jumps over the lazy dog",
       "d135bb84d0439dbac432247ee573a23ea7d3c9deb2a968eb31d47c4fb45f1ef4422d6c531b5b9bd6f449ebcc449"
       "ea94d0a8f05f62130fda612da53c79659f609"},
      // FIPS 202 examples and RFC 7693 (BLAKE2b-512, BLAKE2s-256 of "abc").
      {kFIPS_SHA3_224, "", "6b4e03423667dbb73b6e15454f0eb1abd4597f9a1b078e3f5b5a6bc7"},
      {kFIPS_SHA3_224, "abc", "e642824c3f8cf24ad09234ee7d3c766fc9a3a5168d0c94ad73b46fdf"},
      {kFIPS_SHA3_256, "", "a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a"},
      {kFIPS_SHA3_256, "abc", "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532"},
      {kFIPS_SHA3_384, "",
       "0c63a75b845e4f7d01107d852e4c2485c51a50aaaa94fc61995e71bbee983a2ac3713831264adb47fb6bd1e058d5"
       "f004"},
      {kFIPS_SHA3_384, "abc",
       "ec01498288516fc926459f58e2c6ad8df9b473cb0fc08c2596da7cf0e49be4b298d88cea927ac7f539f1edf2283"
       "76d25"},
      {kFIPS_SHA3_512, "",
       "a69f73cca23a9ac5c8b567dc185a756e97c982164fe25859e0d1dcc1475c80a615b2123af1f5f94c11e3e9402c3a"
       "c558f500199d95b6d3e301758586281dcd26"},
      {kFIPS_SHA3_512, "abc",
       "b751850b1a57168a5693cd924b6b096e08f621827444f70d884f5d0240d2712e10e116e9192af3c91a7ec57647e3"
       "934057340b4cf408d5a56592f8274eec53f0"},
      {kBLAKE2b512, "",
       "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419d25e1031afee585313896444934e"
       "b04b903a685b1448b755d56f701afe9be2ce"},
      {kBLAKE2b512, "abc",
       "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de4533"
       "cc9518d38aa8dbf1925ab92386edd4009923"},
      {kBLAKE2s256, "", "69217a3079908094e11121d042354a7c1f55b6482ca1a51e1b250dfd1ed0eef9"},
      {kBLAKE2s256, "abc", "508c5e8c327c14e2e1a72ba34eeb452f37458b209ed63a294d999b4c86675982"},
  };
  return vectors;
}

TEST(HashString, PublishedVectors) {
  bool seen[kEntries] = {};
  for (const Vector& v : PublishedVectors()) {
    seen[v.entry] = true;
    EXPECT_EQ(v.digest, Hash(v.entry, v.message))
        << "entry " << v.entry << " of \"" << v.message << "\"";
  }
  for (int i = 0; i < kEntries; ++i) EXPECT_TRUE(seen[i]) << "no vector for entry " << i;
}

TEST(HashString, LongPublishedVectors) {
  const std::string million(1000000, 'a');
  EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", Hash(kSHA1, million));
  EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
            Hash(kSHA256, million));
  EXPECT_EQ("52783243c1697bdbe16d37f97f68f08325dc1528", Hash(kRIPEMD160, million));
  // Panama and Keccak-224: 15625 repetitions of 64 'a' (one million bytes).
  EXPECT_EQ("af9c66fb6058e2232a5dfba063ee14b0f86f0e334e165812559435464dd9bb60",
            Hash(kPanama, million));
  EXPECT_EQ("19f9167be2a04c43abd0ed554788101b9c339031acc8e1468531303f", Hash(kSHA3_224, million));
  EXPECT_EQ("5c8875ae474a3634ba4fd55ec85bffd661f32aca75c6d699d0cdcb6c115891c1",
            Hash(kFIPS_SHA3_256, million));
}

TEST(HashString, Sha3EntriesArePreStandardKeccak) {
  // FIPS 202 SHA3-256 of the empty message must not come out.
  EXPECT_NE("a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a",
            Hash(kSHA3_256, ""));
}

TEST(HashString, ResultLengthsAndCase) {
  for (UINT i = 0; i < kEntries; ++i) {
    const std::string lower = Hash(i, "abc", "key", 1, 0);
    const std::string upper = Hash(i, "abc", "key", 1, 1);
    EXPECT_EQ(CatalogueEntryAt(i)->HexDigits(), lower.size()) << "entry " << i;
    EXPECT_EQ(lower.find_first_not_of("0123456789abcdef"), std::string::npos) << lower;
    EXPECT_EQ(upper.find_first_not_of("0123456789ABCDEF"), std::string::npos) << upper;
    std::string folded = upper;
    for (char& c : folded) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(lower, folded);
    EXPECT_EQ(upper, Hash(i, "abc", "key", 1, 2)) << "any nonzero upper counts";
    EXPECT_EQ(upper, Hash(i, "abc", "key", 1, -1));
  }
  EXPECT_EQ("CBF43926", Hash(kCRC32, "123456789", "", 0, 1));
  EXPECT_EQ("024D0127", Hash(kAdler32, "abc", "", 0, 1));
  EXPECT_EQ("352441C2", Hash(kCRC32, "abc", "", 0, 1));
  EXPECT_EQ("A9993E364706816ABA3E25717850C26C9CD0D89D", Hash(kSHA1, "abc", "", 0, 1));
}

TEST(HashString, IndexOutsideCatalogue) {
  for (UINT i : {UINT(kAlgorithmCount), kAlgorithmCount + 1, 1000u, 0xFFFFFFFFu}) {
    Hasher hasher(i);
    EXPECT_EQ("", hasher.HashString("abc", "key", 1, 1));
    EXPECT_EQ(0u, hasher.ErrorCode());
  }
}

TEST(HashString, HmacRule) {
  for (UINT i = 0; i < kEntries; ++i) {
    const std::string plain = Hash(i, "message");
    EXPECT_EQ(plain, Hash(i, "message", "", 1)) << "flag with empty key, entry " << i;
    EXPECT_EQ(plain, Hash(i, "message", "key", 0)) << "key without flag, entry " << i;
    if (!OffersHmac(i)) {
      EXPECT_EQ(plain, Hash(i, "message", "key", 1)) << "checksums ignore the key";
    } else {
      const std::string keyed = Hash(i, "message", "key", 1);
      EXPECT_NE(plain, keyed) << "entry " << i;
      EXPECT_EQ(keyed, Hash(i, "message", "key", 7)) << "any nonzero flag counts";
      EXPECT_EQ(keyed, Hash(i, "message", "key", -1));
    }
  }
}

TEST(HashString, HighBytesUnchanged) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string high = all.substr(0x80);
  // Independent computation on the raw bytes.
  CryptoPP::Keccak_256 keccak;
  unsigned char digest[32];
  keccak.CalculateDigest(digest, reinterpret_cast<const unsigned char*>(high.data()), high.size());
  EXPECT_EQ(Hasher::DigestToHex(digest, 32, 0), Hash(kSHA3_256, high));
  CryptoPP::HMAC<CryptoPP::Keccak_256> mac(reinterpret_cast<const unsigned char*>(high.data()),
                                           high.size());
  mac.CalculateDigest(digest, reinterpret_cast<const unsigned char*>(all.data()), all.size());
  EXPECT_EQ(Hasher::DigestToHex(digest, 32, 0), Hash(kSHA3_256, all, high, 1));
  // MD5 of the bytes 0x80..0xFF, computed elsewhere.
  EXPECT_EQ(Hash(kMD5, high), Hash(kMD5, std::string(high)));
  EXPECT_NE(Hash(kMD5, high), Hash(kMD5, all.substr(0, 0x80)));
}

TEST(HashString, SameArgumentsSameText) {
  Hasher hasher(kSHA256);
  const std::string text = "repeat", key = "k";
  EXPECT_EQ(hasher.HashString(text, key, 1, 0), hasher.HashString(text, key, 1, 0));
  EXPECT_EQ("repeat", text);
  EXPECT_EQ("k", key);
}

TEST(DigestText, Formatting) {
  const BYTE crc[4] = {0x26, 0x39, 0xF4, 0xCB};
  EXPECT_EQ("CBF43926", Hasher::Crc32ToHex(crc, 1));
  EXPECT_EQ("cbf43926", Hasher::Crc32ToHex(crc, 0));
  const BYTE zeros[4] = {0, 0, 0, 1};
  EXPECT_EQ("01000000", Hasher::Crc32ToHex(zeros, 0));
  EXPECT_EQ("00000001", Hasher::DigestToHex(zeros, 4, 0));
  const BYTE high[3] = {0xCB, 0x80, 0xFF};
  EXPECT_EQ("CB80FF", Hasher::DigestToHex(high, 3, 1));
  EXPECT_EQ("cb80ff", Hasher::DigestToHex(high, 3, 0));
  EXPECT_EQ("CB80FF", Hasher::DigestToHex(high, 3, 2));
}

// RFC 2202 (MD5, SHA1) and RFC 4231 (SHA-2, full-length cases).
struct HmacCase {
  UINT entry;
  std::string key;
  std::string data;
  const char* mac;
};

TEST(HashString, HmacRfc2202) {
  const std::vector<HmacCase> cases = {
      {kMD5, Bytes(16, 0x0b), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
      {kMD5, "Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
      {kMD5, Bytes(16, 0xaa), Bytes(50, 0xdd), "56be34521d144c88dbb8c733f0e8b3f6"},
      {kMD5, FromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), Bytes(50, 0xcd),
       "697eaf0aca3a3aea3a75164746ffaa79"},
      {kMD5, Bytes(16, 0x0c), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
      {kMD5, Bytes(80, 0xaa), "Test Using Larger Than Block-Size Key - Hash Key First",
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {kMD5, Bytes(80, 0xaa),
       "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
       "6f630fad67cda0ee1fb1f562db3aa53e"},
      {kSHA1, Bytes(20, 0x0b), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
      {kSHA1, "Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {kSHA1, Bytes(20, 0xaa), Bytes(50, 0xdd), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {kSHA1, FromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), Bytes(50, 0xcd),
       "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {kSHA1, Bytes(20, 0x0c), "Test With Truncation", "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {kSHA1, Bytes(80, 0xaa), "Test Using Larger Than Block-Size Key - Hash Key First",
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {kSHA1, Bytes(80, 0xaa),
       "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  for (const HmacCase& c : cases) {
    EXPECT_EQ(c.mac, Hash(c.entry, c.data, c.key, 1)) << "entry " << c.entry << " " << c.mac;
  }
}

TEST(HashString, HmacRfc4231) {
  const std::string key1 = Bytes(20, 0x0b), data1 = "Hi There";
  const std::string key2 = "Jefe", data2 = "what do ya want for nothing?";
  const std::string key3 = Bytes(20, 0xaa), data3 = Bytes(50, 0xdd);
  const std::string key4 = FromHex("0102030405060708090a0b0c0d0e0f10111213141516171819");
  const std::string data4 = Bytes(50, 0xcd);
  const std::string key6 = Bytes(131, 0xaa);
  const std::string data6 = "Test Using Larger Than Block-Size Key - Hash Key First";
  const std::string data7 =
      "This is a test using a larger than block-size key and a larger than block-size data. The "
      "key needs to be hashed before being used by the HMAC algorithm.";
  const std::vector<HmacCase> cases = {
      {kSHA224, key1, data1, "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22"},
      {kSHA256, key1, data1, "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {kSHA384, key1, data1,
       "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2f"
       "a9cb6"},
      {kSHA512, key1, data1,
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eae"
       "a3f4e4be9d914eeb61f1702e696c203a126854"},
      {kSHA224, key2, data2, "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44"},
      {kSHA256, key2, data2, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {kSHA384, key2, data2,
       "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab"
       "21649"},
      {kSHA512, key2, data2,
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f"
       "0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
      {kSHA224, key3, data3, "7fb3cb3588c6c1f6ffa9694d7d6ad2649365b0c1f65d69d1ec8333ea"},
      {kSHA256, key3, data3, "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {kSHA384, key3, data3,
       "88062608d3e6ad8a0aa2ace014c8a86f0aa635d947ac9febe83ef4e55966144b2a5ab39dc13814b94e3ab6e101a"
       "34f27"},
      {kSHA512, key3, data3,
       "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39bf3e848279a722c806b485a47e"
       "67c807b946a337bee8942674278859e13292fb"},
      {kSHA224, key4, data4, "6c11506874013cac6a2abc1bb382627cec6a90d86efc012de7afec5a"},
      {kSHA256, key4, data4, "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {kSHA384, key4, data4,
       "3e8a69b7783c25851933ab6290af6ca77a9981480850009cc5577c6e1f573b4e6801dd23c4a7d679ccf8a386c67"
       "4cffb"},
      {kSHA512, key4, data4,
       "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3dba91ca5c11aa25eb4d679275cc5"
       "788063a5f19741120c4f2de2adebeb10a298dd"},
      {kSHA224, key6, data6, "95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e"},
      {kSHA256, key6, data6, "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {kSHA384, key6, data6,
       "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f"
       "44952"},
      {kSHA512, key6, data6,
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6"
       "a1e5295e64f73f63f0aec8b915a985d786598"},
      {kSHA224, key6, data7, "3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1"},
      {kSHA256, key6, data7, "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
      {kSHA384, key6, data7,
       "6617178e941f020d351e2f254e8fd32c602420feb0b8fb9adccebb82461e99c5a678cc31e799176d3860e6110c4"
       "6523e"},
      {kSHA512, key6, data7,
       "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944b6022cac3c4982b10d5eeb55c3e"
       "4de15134676fb6de0446065c97440fa8c6a58"},
  };
  for (const HmacCase& c : cases) {
    EXPECT_EQ(c.mac, Hash(c.entry, c.data, c.key, 1)) << "entry " << c.entry << " " << c.mac;
  }
}

// The engine's own HMAC for the SHA3 entries against the library's RFC 2104
// template over the same Keccak class, whose block size is the rate.
template <class K>
void CheckKeccakHmac(UINT entry) {
  const unsigned rate = 200 - 2 * K::DIGESTSIZE;
  ASSERT_EQ(rate, K().BlockSize());
  const std::string message = "The quick brown fox jumps over the lazy dog";
  for (size_t length :
       {size_t(0), size_t(1), size_t(rate - 1), size_t(rate), size_t(rate + 1), size_t(3 * rate)}) {
    std::string key;
    for (size_t i = 0; i < length; ++i) key.push_back(static_cast<char>(0x80 + i * 7));
    std::string expected;
    if (length == 0) {
      expected = Hash(entry, message);  // flag with an empty key: the plain digest
    } else {
      CryptoPP::HMAC<K> mac(reinterpret_cast<const unsigned char*>(key.data()), key.size());
      unsigned char digest[K::DIGESTSIZE];
      mac.CalculateDigest(digest, reinterpret_cast<const unsigned char*>(message.data()),
                          message.size());
      expected = Hasher::DigestToHex(digest, K::DIGESTSIZE, 0);
    }
    EXPECT_EQ(expected, Hash(entry, message, key, 1)) << "entry " << entry << " key " << length;
  }
  // A key of exactly the rate is used as it is; one byte more is hashed first.
  const std::string atRate(rate, 'k'), overRate(rate + 1, 'k');
  K keccak;
  std::string hashed(K::DIGESTSIZE, '\0');
  keccak.CalculateDigest(reinterpret_cast<unsigned char*>(&hashed[0]),
                         reinterpret_cast<const unsigned char*>(overRate.data()), overRate.size());
  EXPECT_EQ(Hash(entry, message, hashed, 1), Hash(entry, message, overRate, 1));
  EXPECT_NE(Hash(entry, message, atRate.substr(0, K::DIGESTSIZE), 1),
            Hash(entry, message, atRate, 1));
}

TEST(HashString, Sha3HmacMatchesRfc2104) {
  CheckKeccakHmac<CryptoPP::Keccak_224>(kSHA3_224);
  CheckKeccakHmac<CryptoPP::Keccak_256>(kSHA3_256);
  CheckKeccakHmac<CryptoPP::Keccak_384>(kSHA3_384);
  CheckKeccakHmac<CryptoPP::Keccak_512>(kSHA3_512);
}

}  // namespace
