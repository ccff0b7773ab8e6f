#include <cryptopp/sha.h>
#include <gtest/gtest.h>
TEST(Smoke, Runs) { CryptoPP::SHA256 h; unsigned char d[32]; h.CalculateDigest(d, (const unsigned char*)"abc", 3); EXPECT_EQ(d[0], 0xba); }
