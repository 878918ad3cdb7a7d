// The table family's block cipher (an obfuscation: the key is in the header).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tablorix::paradox {

// Decrypts/encrypts one 256-byte chunk in place with the chunk parameters (a, b, c, d).
void DecryptChunk(uint8_t* chunk, uint8_t a, uint8_t b, uint8_t c, uint8_t d);
void EncryptChunk(uint8_t* chunk, uint8_t a, uint8_t b, uint8_t c, uint8_t d);

// A data block of a DB-format file: chunk i of block N uses (a, b, i, N mod 256).
void DecryptBlock(uint8_t* block, size_t size, uint32_t key, uint32_t block_number);
void EncryptBlock(uint8_t* block, size_t size, uint32_t key, uint32_t block_number);
// Bytes of an .MB file starting at a 256-aligned file offset: every chunk uses (a, b, a+1, b+1).
void DecryptBlobBytes(uint8_t* data, size_t size, uint32_t key);

}  // namespace tablorix::paradox
