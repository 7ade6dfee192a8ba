/* The profiler's program: main calls busy(), which takes nearly all of the
   run, and a short note() after each call; then it returns to the start-up
   code, which stops. */
unsigned int rounds;
unsigned int result;

unsigned int busy(unsigned int n)
{
    unsigned int s = 0;
    while (n--)
        s += n;
    return s;
}

void note(unsigned int v)
{
    result ^= v;
}

void main(void)
{
    for (rounds = 0; rounds < 200; rounds++)
        note(busy(500));
}
