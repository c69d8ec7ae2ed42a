// Stackfall at its end: offers the player to send the score. Says what the call returned.
#include <brindle/brindle.h>
#include <stdio.h>

int main(void) {
  const int result = SendHighScore(L"Stackfall", 7, 31337, NULL);
  printf("SendHighScore returned %d\n", result);
  return result;
}
