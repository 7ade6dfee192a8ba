/* Typed variables for the value printer's tests: a struct holding a struct,
   an array of structs and a pointer into it, a union, floats, bit fields,
   an enumeration, a string pointer, an int array and a long. main sets every
   one of them; the tests read them back after the run. (sdcc has no 8-byte
   double: both floats here are 4 bytes.) */
struct point {
    int x;
    int y;
};

struct record {
    char tag;
    long count;
    struct point pos;
};

union word {
    unsigned int w;
    unsigned char b[2];
};

struct flags {
    unsigned int a : 3;
    unsigned int b : 5;
    unsigned int c : 4;
};

enum color { RED, GREEN, BLUE = 5 };

struct record rec;
struct point pts[3];
struct point *ppt;
union word uw;
float fval;
float fneg;
struct flags fl;
enum color col;
const char *msg;
int arr[4];
long big;

void main(void)
{
    unsigned char i;
    rec.tag = 'R';
    rec.count = 100000;
    rec.pos.x = -3;
    rec.pos.y = 7;
    for (i = 0; i < 3; i++) {
        pts[i].x = i * 10;
        pts[i].y = -i;
    }
    ppt = &pts[1];
    uw.w = 0x1234;
    fval = 1.5;
    fneg = -2.25;
    fl.a = 5;
    fl.b = 17;
    fl.c = 9;
    col = BLUE;
    msg = "Hi";
    for (i = 0; i < 4; i++)
        arr[i] = i * i - 1;
    big = -123456;
}
