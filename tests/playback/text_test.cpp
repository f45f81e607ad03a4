// The rules of playback that need no network: the playlist scan, the
// address form per library version, title cleaning, and ReadArgs on a text.
#include <gtest/gtest.h>

#include <string>

#include "dos/rdargs.h"
#include "playback/Playback.h"
#include "reggae/reggae.h"

namespace {

std::string Scan(const std::string &text, bool *ok = nullptr, size_t outSize = PLAYLIST_URL_SIZE) {
  std::string out(outSize, 'Z');
  bool r = ScanPlaylist(text.data(), text.size(), out.data(), outSize);
  if (ok) *ok = r;
  return r ? std::string(out.c_str()) : std::string("<none>");
}

std::string Clean(std::string title) {
  CapitaliseTitle(title.data());
  MakeSpacesUnbreakable(title.data());
  return title;
}

TEST(PlaylistScan, AddressOfTheUsualForms) {
  EXPECT_EQ(Scan("#EXTM3U\r\n#EXTINF:-1,Radio\r\nhttp://radio.example:8000/live\r\n"), "radio.example:8000/live");
  // Two addresses: the last one wins.
  EXPECT_EQ(Scan("http://first.example/a\nhttp://second.example/b\n"), "second.example/b");
  // A comment after the address is glued to it, line breaks left out.
  EXPECT_EQ(Scan("http://a.example/s\r\n# end\r\n"), "a.example/s# end");
  // Without a final line break.
  EXPECT_EQ(Scan("[playlist]\nFile1=http://x.example/y"), "x.example/y");
}

TEST(PlaylistScan, NothingToTake) {
  bool ok = true;
  EXPECT_EQ(Scan("#EXTM3U\nhttps://secure.example/s\n", &ok), "<none>"); // https is not recognised
  EXPECT_FALSE(ok);
  EXPECT_EQ(Scan("HTTP://upper.example/s\n", &ok), "<none>"); // case-sensitive
  EXPECT_EQ(Scan("text http://\r\n", &ok), "<none>");            // scheme with nothing after it
  EXPECT_EQ(Scan("", &ok), "<none>");
  // A NUL inside the text is data, not an end.
  EXPECT_EQ(Scan(std::string("http://a\0b", 10)), std::string("a\0b", 3).c_str());
  EXPECT_EQ(Scan(std::string("http://\0b", 9), &ok), "<none>"); // but it leaves no address
}

TEST(PlaylistScan, LongAddressesAreBoundedByTheBuffer) {
  // 1023 characters fit with the NUL; 1024 are refused whole, the buffer untouched beyond it.
  const std::string fits(1023, 'a'), tooLong(1024, 'b');
  EXPECT_EQ(Scan("http://" + fits + "\n"), fits);
  bool ok = true;
  std::string out(PLAYLIST_URL_SIZE + 16, 'Z');
  const std::string text = "http://" + tooLong + "\n";
  ok = ScanPlaylist(text.data(), text.size(), out.data(), PLAYLIST_URL_SIZE);
  EXPECT_FALSE(ok);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out.substr(PLAYLIST_URL_SIZE), std::string(16, 'Z'));
  // A long first address does not spoil a later short one.
  EXPECT_EQ(Scan("http://" + tooLong + "\nhttp://short.example/\n"), "short.example/");
  // A tiny buffer.
  EXPECT_EQ(Scan("http://abc", nullptr, 4), "abc");
  EXPECT_EQ(Scan("http://abcd", nullptr, 4), "<none>");
}

TEST(HttpStreamAddress, SchemeDependsOnTheLibraryVersion) {
  Tag tag = 0;
  EXPECT_STREQ(HttpStreamAddress(51, "http://host/path", &tag), "host/path");
  EXPECT_EQ(tag, static_cast<Tag>(MMA_StreamName));
  EXPECT_STREQ(HttpStreamAddress(50, "HTTP://host/path", &tag), "HTTP://host/path"); // capitals stay
  EXPECT_STREQ(HttpStreamAddress(51, "host/path", &tag), "host/path");
  EXPECT_STREQ(HttpStreamAddress(52, "http://host/path", &tag), "http://host/path");
  EXPECT_EQ(tag, static_cast<Tag>(MMA_StreamURL));
  EXPECT_STREQ(HttpStreamAddress(53, "HTTP://host/path", &tag), "HTTP://host/path");
}

TEST(TitleCleaning, RunsOfCapitalsBecomeCapitalisedWords) {
  const std::string nb = "\xA0";
  EXPECT_EQ(Clean("NOW PLAYING: BAND X"), "Now" + nb + "Playing:" + nb + "Band" + nb + "X");
  EXPECT_EQ(Clean("ARTIST - SONG NAME"), "Artist" + nb + "-" + nb + "Song" + nb + "Name");
  EXPECT_EQ(Clean("McDONALD"), "McDonald");
  EXPECT_EQ(Clean("A B C"), "A" + nb + "B" + nb + "C");
  EXPECT_EQ(Clean("Already Fine"), "Already" + nb + "Fine");
  // The rest of the word is lowered up to a space, whatever it holds.
  EXPECT_EQ(Clean("AC/DC-LIVE"), "Ac/dc-live");
  // Tabs and line breaks end a word too, and are kept.
  EXPECT_EQ(Clean("ONE\tTWO"), "One\tTwo");
  EXPECT_EQ(Clean(""), "");
  EXPECT_EQ(Clean("X"), "X");
}

TEST(TitleCleaning, Latin1Letters) {
  // ÄRGER ÜBER ÖL -> Ärger Über Öl; the multiplication sign is no letter.
  EXPECT_EQ(Clean("\xC4RGER \xDC" "BER \xD6L"), "\xC4rger\xA0\xDC" "ber\xA0\xD6l");
  EXPECT_EQ(Clean("2\xD7" "2"), "2\xD7" "2");
  EXPECT_EQ(Clean("A\xD7" "B"), "A\xD7" "B");
  // A no-break space that arrives in the title is not a word end.
  EXPECT_EQ(Clean("AB\xA0" "CD"), "Ab\xA0" "cd");
}

TEST(ReadArgsString, ParsesItsOwnCopyOfTheTextNeverTheProgramsArguments) {
  char prog[] = "prog", arg[] = "NAME=fromargv";
  char *argv[] = {prog, arg};
  platform::SetProgramArguments(2, argv);
  std::string text = "name=Radio all the rest";
  IPTR a[2] = {};
  struct RDArgs *rda = ReadArgsString("NAME/K,REST/F", text.c_str(), a);
  text.assign(text.size(), 'x'); // the caller's text may change at once
  ASSERT_NE(rda, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char *>(a[0]), "Radio");
  EXPECT_STREQ(reinterpret_cast<const char *>(a[1]), "all the rest") << "the added line end is not part of it";
  FreeArgsString(rda);

  // An empty text is an empty line, whatever the program was given.
  IPTR b[1] = {};
  EXPECT_EQ(ReadArgsString("NAME/A", "", b), nullptr);
  EXPECT_EQ(ReadArgsString("NAME/A", nullptr, b), nullptr);
  FreeArgsString(nullptr);
  platform::SetProgramArguments(1, argv);
}

} // namespace
