// A game at its end: it offers the player to send the score to the highscore service.
//
//   highscore_game [SCORE] [--anonymous]
//
// Brindle shows its dialog in the terminal and drives the phone on COM3: (BRINDLE_COM3 may
// name the device, for example the path `brindle phone` prints). --anonymous passes no game
// name, which Brindle answers by doing nothing.
#include <brindle/brindle.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  std::int32_t score = 4711;
  const char16_t* name = u"Example Game";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--anonymous") == 0) {
      name = nullptr;
    } else {
      score = static_cast<std::int32_t>(std::strtol(argv[i], nullptr, 10));
    }
  }
  std::printf("Game over. Your score: %d\n", static_cast<int>(score));
  const int result = SendHighScore(name, 7, score, nullptr);
  std::printf("SendHighScore returned %d\n", result);
  return result;
}
