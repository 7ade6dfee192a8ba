/* A small program for the load and symbol tests: globals of several kinds,
   a static helper, a function with parameters and a loop in main. */
struct point {
    int x;
    int y;
};

struct point origin;
unsigned char counts[8];
int total;

static int square(int v)
{
    return v * v;
}

int add_point(struct point *p, int dx, int dy)
{
    p->x += dx;
    p->y += dy;
    return square(p->x) + square(p->y);
}

void main(void)
{
    unsigned char i;
    origin.x = 0;
    origin.y = 0;
    total = 0;
    for (i = 0; i < 8; i++) {
        counts[i] = i * 3;
        total += add_point(&origin, i, 1);
    }
}
