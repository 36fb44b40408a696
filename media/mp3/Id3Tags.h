#pragma once
// ID3 tags around an MP3 stream: the ID3v2 tag in front, the 128-byte ID3v1 tag at the end.
#include <cstdint>
#include <string>
#include <vector>

namespace sw::mp3 {

constexpr int Id3v1Size = 128;

// Whole size of the ID3v2 tag starting at p (header, frames, footer), 0 when there is none.
int64_t Id3v2TagSize(const uint8_t* p, std::size_t available);
bool IsId3v1(const uint8_t* p) ;

// Removes a frame (e.g. "TLEN", whose length no longer holds after a cut) from a whole
// ID3v2.2-2.4 tag, keeping the tag's size by padding at its end. False when the frame was
// not there or the tag is of a kind this does not rewrite (unsynchronised, compressed).
bool DropId3v2Frame(std::vector<uint8_t>& tag, const std::string& id);

}  // namespace sw::mp3
