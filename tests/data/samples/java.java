/*
 * A sample for the Java lexer.
 */
package org.example.shapes;

import java.util.List;
import java.util.function.Function;

/** A closed hierarchy of shapes. */
public sealed interface Shape permits Circle, Square, Blob {
    double area();
}

record Circle(double radius) implements Shape {
    @Override
    public double area() { return Math.PI * radius * radius; }
}

final class Square implements Shape {
    private final long side = 0x7FFF_FFFFL;
    @Override public double area() { return (double) side * side; }
}

non-sealed class Blob implements Shape {
    public double area() { return 1.5e-3f + .25 + 10d + 0b1010 + 017; }
}

class Report {
    static String describe(Object o) {
        var text = """
            A "text block" with \""" inside
            """;
        char tab = '\t';
        return switch (o) {
            case Circle c -> "circle " + c.radius() + tab;
            case Square s -> {
                yield "square";
            }
            default -> text;
        };
    }

    <T> List<T> map(List<T> in, Function<? super T, ? extends T> f) {
        return in.stream().map(f).toList();
    }
}
