// Everything that flies: the player's shots and the enemy bullets.
#pragma once

#include <cstdint>

namespace zorva {

// What each enemy destroyed adds to the score.
inline constexpr std::int32_t kPointsPerEnemy = 10;

// Once per frame: the shot pass (each shot 6 pixels up, drawn, tested against
// the enemies, removed on a hit or at the top), then the bullet pass (each
// bullet by its velocity, drawn, tested against the ship, freed on a hit or at
// the bottom).
void UpdateShotsAndBullets();

// Destroys every live enemy whose window holds a shot at (x, y): each one
// starts exploding, plays the sound and scores 10. Returns 1 if any was hit.
int ShotHitsEnemy(std::int16_t x, std::int16_t y);

// Destroys the intact ship when a bullet drawn at (x, y) lies less than 16
// pixels from it on both axes, with the sound. Returns 1 on a hit.
int BulletHitsPlayer(std::int16_t x, std::int16_t y);

}  // namespace zorva
