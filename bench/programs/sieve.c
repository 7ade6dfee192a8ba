/* The benchmark's program: the sieve of Eratosthenes over the odd numbers
 * 3 to 16383 (8191 flags), run kRounds times. Each round finds the 1899
 * primes again; the results record at 9000h holds the last round's count,
 * the rounds done and a sum of every prime found in every round, so that a
 * run that missed a round or a flag shows in it. */

#define kFlags 8191
#define kRounds 40

/* The benchmark reads this record at its fixed address. */
struct Results {
  unsigned int primes; /* primes found in the last round */
  unsigned int rounds; /* rounds done */
  unsigned int sum;    /* every prime of every round, added modulo 65536 */
};
volatile __at(0x9000) struct Results result;

static unsigned char flags[kFlags];

void main(void) {
  unsigned int round, i, k, count, sum = 0;
  for (round = 0; round < kRounds; ++round) {
    count = 0;
    for (i = 0; i < kFlags; ++i) flags[i] = 1;
    for (i = 0; i < kFlags; ++i) {
      if (flags[i]) {
        /* flag i stands for the odd number i + i + 3 */
        unsigned int prime = i + i + 3;
        for (k = i + prime; k < kFlags; k += prime) flags[k] = 0;
        ++count;
        sum += prime;
      }
    }
    result.primes = count;
    result.rounds = round + 1;
    result.sum = sum;
  }
}
